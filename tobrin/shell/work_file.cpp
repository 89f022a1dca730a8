#include "work_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <utility>

namespace tobrin::shell {
namespace {

// An open descriptor holding an exclusive lock on its file.
class LockedFile {
  public:
    static std::optional<LockedFile> Open(const std::string& path, int flags) {
        LockedFile file(::open(path.c_str(), flags | O_RDWR | O_CLOEXEC, 0644));
        if (file.fd_ < 0 || ::flock(file.fd_, LOCK_EX | LOCK_NB) != 0) return std::nullopt;
        return file;
    }
    LockedFile(LockedFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    LockedFile& operator=(LockedFile&&) = delete;
    ~LockedFile() {
        if (fd_ >= 0) ::close(fd_);
    }

    int fd() const { return fd_; }

    std::optional<std::uint64_t> Size() const {
        struct stat info {};
        if (::fstat(fd_, &info) != 0 || info.st_size < 0) return std::nullopt;
        return static_cast<std::uint64_t>(info.st_size);
    }

    bool Resize(std::uint64_t size) const {
        return size <= static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) &&
               ::ftruncate(fd_, static_cast<off_t>(size)) == 0;
    }

    bool GrowTo(std::uint64_t size) const {
        const auto current = Size();
        return current && (*current >= size || Resize(size));
    }

  private:
    explicit LockedFile(int fd) : fd_(fd) {}
    int fd_;
};

// A shared read-write mapping of a file's first bytes.
class Mapping {
  public:
    static std::optional<Mapping> Map(const LockedFile& file, std::uint64_t length) {
        if (length == 0) return Mapping(nullptr, 0);
        if (length > std::numeric_limits<std::size_t>::max()) return std::nullopt;
        const auto size = static_cast<std::size_t>(length);
        void* address = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, file.fd(), 0);
        if (address == MAP_FAILED) return std::nullopt;
        return Mapping(static_cast<std::byte*>(address), size);
    }
    Mapping(Mapping&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
    Mapping& operator=(Mapping&&) = delete;
    ~Mapping() {
        if (data_ != nullptr) ::munmap(data_, size_);
    }

    std::span<std::byte> bytes() const { return {data_, size_}; }

  private:
    Mapping(std::byte* data, std::size_t size) : data_(data), size_(size) {}
    std::byte* data_;
    std::size_t size_;
};

// Locks an existing file, grows it to `length` and maps that much of it.
template <typename Use>
bool WithMappedFile(const std::string& path, std::uint64_t length, Use use) {
    const auto file = LockedFile::Open(path, 0);
    if (!file || !file->GrowTo(length)) return false;
    const auto mapping = Mapping::Map(*file, length);
    if (!mapping) return false;
    use(mapping->bytes());
    return true;
}

}  // namespace

bool CreateSizedFile(const std::string& path, std::uint64_t size) {
    const auto file = LockedFile::Open(path, O_CREAT);
    // Truncating first leaves no old bytes behind the new end.
    return file && file->Resize(0) && file->Resize(size) && Mapping::Map(*file, size).has_value();
}

bool ZeroFileContents(const std::string& path, std::uint64_t length) {
    return WithMappedFile(
        path, length, [](std::span<std::byte> bytes) { std::ranges::fill(bytes, std::byte{0}); });
}

bool WriteFileContents(const std::string& path, std::uint64_t file_size,
                       std::span<const std::byte> data) {
    return WithMappedFile(path, file_size, [data](std::span<std::byte> bytes) {
        std::copy_n(data.begin(), std::min(bytes.size(), data.size()), bytes.begin());
    });
}

bool IsFileInUse(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    const auto file = LockedFile::Open(path, 0);
    if (!file) return true;
    const auto size = file->Size();
    return !size || !Mapping::Map(*file, *size);
}

}  // namespace tobrin::shell
