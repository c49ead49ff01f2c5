#include "capture/backend/KernelCalls.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace backend {

KernelCalls RealKernelCalls()
{
    KernelCalls calls;
    calls.videoOpen = [](const char* path, int flags) { return ::open(path, flags | O_CLOEXEC); };
    calls.videoClose = [](int fd) { return ::close(fd); };
    calls.videoIoctl = [](int fd, unsigned long request, void* argument) { return ::ioctl(fd, request, argument); };
    calls.videoMmap = [](void* address, std::size_t length, int protection, int flags, int fd, std::int64_t offset) {
        return ::mmap(address, length, protection, flags, fd, static_cast<off_t>(offset));
    };
    calls.videoMunmap = [](void* address, std::size_t length) { return ::munmap(address, length); };
    calls.open = [](const char* path, int flags) { return ::open(path, flags); };
    calls.close = [](int fd) { return ::close(fd); };
    calls.ioctl = [](int fd, unsigned long request, void* argument) { return ::ioctl(fd, request, argument); };
    calls.read = [](int fd, void* buffer, std::size_t length) { return ::read(fd, buffer, length); };
    calls.write = [](int fd, const void* buffer, std::size_t length) { return ::write(fd, buffer, length); };
    calls.eventfd = [](unsigned int initial, int flags) { return ::eventfd(initial, flags); };
    calls.poll = [](pollfd* fds, nfds_t count, int timeoutMs) { return ::poll(fds, count, timeoutMs); };
    return calls;
}

std::optional<std::uint32_t> QueryDeviceCaps(const KernelCalls& calls, const std::string& devnode)
{
    OwnedFd fd(calls.open(devnode.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC), calls.close);
    if (!fd.IsValid()) return std::nullopt;
    v4l2_capability capability{};
    int result = 0;
    do {
        result = calls.ioctl(fd.Get(), VIDIOC_QUERYCAP, &capability);
    } while (result == -1 && errno == EINTR);
    if (result < 0) return std::nullopt;
    // device_caps describes this node; capabilities the whole device (older drivers only
    // fill the latter).
    return (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps : capability.capabilities;
}

int RetryIoctl(const KernelCalls& calls, int fd, unsigned long request, void* argument)
{
    int result = 0;
    do {
        result = calls.videoIoctl(fd, request, argument);
    } while (result == -1 && errno == EINTR);
    return result;
}

} // namespace backend
