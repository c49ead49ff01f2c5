#pragma once
// The calls through which the V4L2 code reaches the kernel. The program uses libv4l2 for
// the camera (it converts every camera format to 24-bit BGR) and plain system calls for
// the button's input device; tests put a fake camera behind the same table.

#include <poll.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>

namespace backend {

struct KernelCalls {
    // The camera's video node.
    std::function<int(const char* path, int flags)> videoOpen;
    std::function<int(int fd)> videoClose;
    std::function<int(int fd, unsigned long request, void* argument)> videoIoctl;
    std::function<void*(void* address, std::size_t length, int protection, int flags, int fd, std::int64_t offset)>
        videoMmap;
    std::function<int(void* address, std::size_t length)> videoMunmap;
    // Anything else (the button's input device, the stop signal).
    std::function<int(const char* path, int flags)> open;
    std::function<int(int fd)> close;
    std::function<ssize_t(int fd, void* buffer, std::size_t length)> read;
    std::function<int(pollfd* fds, nfds_t count, int timeoutMs)> poll;
};

KernelCalls RealKernelCalls();

// An ioctl that is retried while interrupted by a signal.
int RetryIoctl(const KernelCalls& calls, int fd, unsigned long request, void* argument);

} // namespace backend
