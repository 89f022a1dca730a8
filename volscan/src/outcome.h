// Why an engine operation did not succeed. The flat exports collapse these into
// 0, -1 or null; inside the engine they stay apart.
#pragma once

#include <optional>
#include <utility>

namespace volscan {

enum class Failure {
    corrupt,       // the on-disk data contradicts itself or its bounds
    read_failed,   // the device refused or cut short a read
    write_failed,  // the target file refused bytes
    bad_argument,  // the caller passed something unusable
    too_large,     // a buffer the data would need exceeds what the volume can hold
};

// A value or the reason there is none.
template <class T>
class Expected {
  public:
    Expected(T value) : value_(std::move(value)) {}
    Expected(Failure failure) : failure_(failure) {}

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    Failure failure() const { return failure_; }

  private:
    std::optional<T> value_;
    Failure failure_ = Failure::corrupt;
};

}  // namespace volscan
