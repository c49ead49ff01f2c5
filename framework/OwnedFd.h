#pragma once

#include <functional>
#include <utility>

#include <unistd.h>

// A file descriptor, closed through the call that belongs to how it was opened, by its
// owner's destructor and nowhere else.
class OwnedFd {
public:
    OwnedFd() = default;
    // Closed with ::close, or with the given call (a fake kernel's in tests).
    explicit OwnedFd(int fd, std::function<int(int)> close = ::close) : fd_(fd), close_(std::move(close)) {}
    OwnedFd(OwnedFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)), close_(std::move(other.close_)) {}
    OwnedFd& operator=(OwnedFd&& other) noexcept
    {
        if (this != &other) {
            Reset();
            fd_ = std::exchange(other.fd_, -1);
            close_ = std::move(other.close_);
        }
        return *this;
    }
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
    ~OwnedFd() { Reset(); }

    int Get() const { return fd_; }
    bool IsValid() const { return fd_ >= 0; }
    // Gives the descriptor up to a new owner (a stdio stream, a QFile that closes it).
    int Release() { return std::exchange(fd_, -1); }
    void Reset()
    {
        if (fd_ >= 0 && close_) close_(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
    std::function<int(int)> close_;
};
