#pragma once
// The calls through which the V4L2 code reaches the kernel: the kernel's own calls for the
// camera's node (the conversion to 24-bit BGR is libv4lconvert's, made explicitly on each
// buffer) and for the button's input device; tests put a fake camera behind the table.

#include "framework/OwnedFd.h"
#include <poll.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace backend {

struct KernelCalls {
    // The camera's video node.
    std::function<int(const char* path, int flags)> videoOpen;
    std::function<int(int fd)> videoClose;
    std::function<int(int fd, unsigned long request, void* argument)> videoIoctl;
    std::function<void*(void* address, std::size_t length, int protection, int flags, int fd, std::int64_t offset)>
        videoMmap;
    std::function<int(void* address, std::size_t length)> videoMunmap;
    // Anything else (the button's input device, the stop signal, asking a node what it is).
    std::function<int(const char* path, int flags)> open;
    std::function<int(int fd)> close;
    std::function<int(int fd, unsigned long request, void* argument)> ioctl;
    std::function<ssize_t(int fd, void* buffer, std::size_t length)> read;
    std::function<ssize_t(int fd, const void* buffer, std::size_t length)> write;
    std::function<int(unsigned int initial, int flags)> eventfd;
    std::function<int(pollfd* fds, nfds_t count, int timeoutMs)> poll;
};

// One memory-mapped camera buffer, unmapped by its owner's destructor.
class MappedBuffer {
public:
    MappedBuffer(void* address, std::size_t length, std::function<int(void*, std::size_t)> unmap)
        : address_(address), length_(length), unmap_(std::move(unmap))
    {
    }
    MappedBuffer(MappedBuffer&& other) noexcept
        : address_(std::exchange(other.address_, nullptr)), length_(other.length_), unmap_(std::move(other.unmap_))
    {
    }
    MappedBuffer& operator=(MappedBuffer&&) = delete;
    MappedBuffer(const MappedBuffer&) = delete;
    MappedBuffer& operator=(const MappedBuffer&) = delete;
    ~MappedBuffer()
    {
        if (address_ && unmap_) unmap_(address_, length_);
    }

    const std::uint8_t* Data() const { return static_cast<const std::uint8_t*>(address_); }
    std::size_t Length() const { return length_; }

private:
    void* address_;
    std::size_t length_;
    std::function<int(void*, std::size_t)> unmap_;
};

KernelCalls RealKernelCalls();

// The device capabilities a video node reports (VIDIOC_QUERYCAP), asked through plain
// open and ioctl; none when the node cannot be opened or asked.
std::optional<std::uint32_t> QueryDeviceCaps(const KernelCalls& calls, const std::string& devnode);

// An ioctl that is retried while interrupted by a signal.
int RetryIoctl(const KernelCalls& calls, int fd, unsigned long request, void* argument);

} // namespace backend
