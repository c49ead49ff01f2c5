#include "KernelCalls.h"

#include <libv4l2.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace backend {

KernelCalls RealKernelCalls()
{
    KernelCalls calls;
    calls.videoOpen = [](const char* path, int flags) { return v4l2_open(path, flags); };
    calls.videoClose = [](int fd) { return v4l2_close(fd); };
    calls.videoIoctl = [](int fd, unsigned long request, void* argument) { return v4l2_ioctl(fd, request, argument); };
    calls.videoMmap = [](void* address, std::size_t length, int protection, int flags, int fd, std::int64_t offset) {
        return v4l2_mmap(address, length, protection, flags, fd, offset);
    };
    calls.videoMunmap = [](void* address, std::size_t length) { return v4l2_munmap(address, length); };
    calls.open = [](const char* path, int flags) { return ::open(path, flags); };
    calls.close = [](int fd) { return ::close(fd); };
    calls.read = [](int fd, void* buffer, std::size_t length) { return ::read(fd, buffer, length); };
    calls.poll = [](pollfd* fds, nfds_t count, int timeoutMs) { return ::poll(fds, count, timeoutMs); };
    return calls;
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
