#include "tobrin/platform/device.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tobrin::platform {
namespace {

// Clamps a read of `wanted` bytes at `offset` to a device of `size` bytes.
std::size_t readable_bytes(std::uint64_t size, std::uint64_t offset, std::size_t wanted) {
    if (offset >= size) return 0;
    return static_cast<std::size_t>(std::min<std::uint64_t>(wanted, size - offset));
}

ReadResult finish(std::size_t delivered, std::size_t wanted) {
    return {delivered == wanted ? ReadStatus::ok : ReadStatus::short_read, delivered};
}

class FileDevice final : public BlockDevice {
  public:
    FileDevice(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    ~FileDevice() override { ::close(fd_); }
    FileDevice(const FileDevice&) = delete;
    FileDevice& operator=(const FileDevice&) = delete;

    std::uint64_t size() const override { return size_; }

    ReadResult read_at(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        const std::size_t wanted = readable_bytes(size_, offset, out.size());
        std::size_t done = 0;
        while (done < wanted) {
            const ssize_t n =
                ::pread(fd_, out.data() + done, wanted - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return {ReadStatus::failed, done};
            if (n == 0) break;
            done += static_cast<std::size_t>(n);
        }
        return finish(done, out.size());
    }

  private:
    int fd_;
    std::uint64_t size_;
};

}  // namespace

std::shared_ptr<BlockDevice> open_file_device(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open disk " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    std::uint64_t size = 0;
    if (::fstat(fd, &st) != 0) {
        error = "cannot read disk " + path + ": " + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    if (S_ISBLK(st.st_mode)) {
        if (::ioctl(fd, BLKGETSIZE64, &size) != 0) size = 0;
    } else if (S_ISREG(st.st_mode)) {
        size = static_cast<std::uint64_t>(st.st_size);
    } else {
        error = "cannot use " + path + ": not an image file or block device";
        ::close(fd);
        return nullptr;
    }
    return std::make_shared<FileDevice>(fd, size);
}

ReadResult MemoryDevice::read_at(std::uint64_t offset, std::span<std::uint8_t> out) const {
    const std::size_t n = readable_bytes(bytes_.size(), offset, out.size());
    for (const Range& bad : bad_) {
        if (offset < bad.offset + bad.length && bad.offset < offset + n) return {};
    }
    if (n > 0) std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), n, out.begin());
    return finish(n, out.size());
}

void MemoryDevice::fail_reads(std::uint64_t offset, std::uint64_t length) {
    bad_.push_back({offset, length});
}

SliceDevice::SliceDevice(std::shared_ptr<const BlockDevice> base, std::uint64_t start,
                         std::uint64_t length)
    : base_(std::move(base)), start_(start), length_(length) {
    const std::uint64_t base_size = base_->size();
    start_ = std::min(start_, base_size);
    length_ = std::min(length_, base_size - start_);
}

ReadResult SliceDevice::read_at(std::uint64_t offset, std::span<std::uint8_t> out) const {
    const std::size_t n = readable_bytes(length_, offset, out.size());
    ReadResult r = base_->read_at(start_ + offset, out.first(n));
    if (r.status == ReadStatus::failed) return r;
    return finish(r.bytes, out.size());
}

}  // namespace tobrin::platform
