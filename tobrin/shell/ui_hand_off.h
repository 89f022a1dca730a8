// Hands a worker's updates to the UI thread and waits until each is applied.
#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <type_traits>

namespace tobrin::shell {

// One per worker: the object lives on the UI thread, the worker calls Apply.
// Posting an event and waking the worker for every found file would cost two
// thread wake-ups per line, so while updates keep coming the UI thread stays
// in a short polling loop and takes the next update straight from the slot.
class UiHandOff : public QObject {
  public:
    explicit UiHandOff(QObject* parent = nullptr);

    // Runs `update` on the UI thread and returns after it ran. From the UI
    // thread itself it runs at once. One worker thread at a time.
    template <typename Update>
    void Apply(Update&& update) {
        using Callable = std::remove_reference_t<Update>;
        Apply(&update, [](void* callable) { (*static_cast<Callable*>(callable))(); });
    }

  protected:
    bool event(QEvent* event) override;

  private:
    using Call = void (*)(void*);
    void Apply(void* callable, Call call);
    void WaitUntilApplied(std::uint32_t ticket) const;
    // Applies updates as long as they keep arriving within a short idle time.
    void Drain();
    void PostWake();

    // Written by the worker before it publishes `requested_`.
    void* callable_ = nullptr;
    Call call_ = nullptr;
    std::atomic<std::uint32_t> requested_{0};
    std::atomic<std::uint32_t> applied_{0};
    // True while the UI thread polls the slot, so the worker posts no event.
    std::atomic<bool> polling_{false};
    bool draining_ = false;  // UI thread only
};

}  // namespace tobrin::shell
