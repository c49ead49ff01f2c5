#include "FakeV4l2Camera.h"
#include "media/MotionJpeg.h"

#include <linux/input.h>
#include <linux/videodev2.h>

#include <QBuffer>
#include <QImage>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

FakeV4l2Camera::FakeV4l2Camera()
    : pixelFormat_(V4L2_PIX_FMT_YUYV), deviceCaps_(V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING)
{
    controls_[V4L2_CID_BRIGHTNESS] = 128;
    controls_[V4L2_CID_CONTRAST] = 32;
}

backend::VideoNode FakeV4l2Camera::Node() const
{
    return {"/dev/video7",
            "/sys/devices/pci0000:00/usb1/1-2/1-2:1.0/video4linux/video7",
            "5e1a",
            "2c07",
            "QRV-DM500 (fake)",
            "/dev/input/event7"};
}

void FakeV4l2Camera::AddControl(std::uint32_t id, int value)
{
    std::lock_guard lock(mutex_);
    controls_[id] = value;
}

int FakeV4l2Camera::Control(std::uint32_t id) const
{
    std::lock_guard lock(mutex_);
    const auto it = controls_.find(id);
    return it == controls_.end() ? -1 : it->second;
}

void FakeV4l2Camera::SetControlsBusyWhileStreaming(bool busy)
{
    std::lock_guard lock(mutex_);
    controlsBusyWhileStreaming_ = busy;
}

void FakeV4l2Camera::SetInputCount(std::uint32_t count)
{
    std::lock_guard lock(mutex_);
    inputCount_ = count;
}

void FakeV4l2Camera::ScriptFaults(const std::vector<Fault>& faults)
{
    std::lock_guard lock(mutex_);
    faults_.assign(faults.begin(), faults.end());
}

void FakeV4l2Camera::SetOccasionalDamage(bool on)
{
    std::lock_guard lock(mutex_);
    occasionalDamage_ = on;
}

void FakeV4l2Camera::Stall(bool untilRestart)
{
    std::lock_guard lock(mutex_);
    stalled_ = true;
    stallForGood_ = !untilRestart;
}

void FakeV4l2Camera::FailRestarts()
{
    std::lock_guard lock(mutex_);
    failRestarts_ = true;
}

void FakeV4l2Camera::SetRowPadding(std::uint32_t bytes)
{
    std::lock_guard lock(mutex_);
    rowPadding_ = bytes;
}

void FakeV4l2Camera::DenyAccess()
{
    std::lock_guard lock(mutex_);
    denyAccess_ = true;
}

void FakeV4l2Camera::SetDeviceCaps(std::uint32_t caps)
{
    std::lock_guard lock(mutex_);
    deviceCaps_ = caps;
}

void FakeV4l2Camera::SetReuseJpeg(bool reuse)
{
    std::lock_guard lock(mutex_);
    reuseJpeg_ = reuse;
}

void FakeV4l2Camera::SetPaced(bool paced)
{
    std::lock_guard lock(mutex_);
    paced_ = paced;
    nextDue_ = std::chrono::steady_clock::now();
}

bool FakeV4l2Camera::FrameIsDue() const
{
    return !paced_ || std::chrono::steady_clock::now() >= nextDue_;
}

void FakeV4l2Camera::SetOffersMjpeg(bool offers)
{
    std::lock_guard lock(mutex_);
    offersMjpeg_ = offers;
}

std::uint32_t FakeV4l2Camera::FramesServed() const
{
    std::lock_guard lock(mutex_);
    return sequence_;
}

int FakeV4l2Camera::StreamOnCount() const
{
    std::lock_guard lock(mutex_);
    return streamOnCount_;
}

void FakeV4l2Camera::PressButton()
{
    std::lock_guard lock(mutex_);
    ++pendingPresses_;
}

void FakeV4l2Camera::Unplug()
{
    std::lock_guard lock(mutex_);
    plugged_ = false;
}

int FakeV4l2Camera::OpenFds() const
{
    std::lock_guard lock(mutex_);
    return openFds_;
}

int FakeV4l2Camera::MappedBuffers() const
{
    std::lock_guard lock(mutex_);
    return mapped_;
}

std::uint32_t FakeV4l2Camera::PixelFormat() const
{
    std::lock_guard lock(mutex_);
    return pixelFormat_;
}

backend::KernelCalls FakeV4l2Camera::Calls()
{
    backend::KernelCalls calls;
    calls.videoOpen = [this](const char* path, int) {
        std::lock_guard lock(mutex_);
        if (!plugged_ || std::strcmp(path, "/dev/video7") != 0) {
            errno = ENOENT;
            return -1;
        }
        if (denyAccess_) {
            errno = EACCES;
            return -1;
        }
        ++openFds_;
        return kVideoFd;
    };
    calls.videoClose = [this](int) {
        std::lock_guard lock(mutex_);
        --openFds_;
        return 0;
    };
    calls.videoIoctl = [this](int, unsigned long request, void* argument) { return Ioctl(request, argument); };
    calls.videoMmap = [this](void*, std::size_t, int, int, int, std::int64_t offset) -> void* {
        std::lock_guard lock(mutex_);
        const std::size_t index = static_cast<std::size_t>(offset >> 12);
        if (index >= buffers_.size()) return MAP_FAILED;
        ++mapped_;
        return buffers_[index].data();
    };
    calls.videoMunmap = [this](void*, std::size_t) {
        std::lock_guard lock(mutex_);
        --mapped_;
        return 0;
    };
    calls.open = [this](const char*, int) {
        std::lock_guard lock(mutex_);
        ++openFds_;
        return kButtonFd;
    };
    calls.close = [this](int fd) {
        if (fd != kButtonFd) return ::close(fd); // the stop signal is a real eventfd
        std::lock_guard lock(mutex_);
        --openFds_;
        return 0;
    };
    calls.ioctl = [this](int, unsigned long request, void* argument) { return Ioctl(request, argument); };
    calls.write = [](int fd, const void* buffer, std::size_t length) { return ::write(fd, buffer, length); };
    calls.eventfd = [](unsigned int initial, int flags) { return ::eventfd(initial, flags); };
    calls.read = [this](int, void* buffer, std::size_t length) -> ssize_t {
        std::lock_guard lock(mutex_);
        if (pendingPresses_ == 0 || length < 2 * sizeof(input_event)) {
            errno = EAGAIN;
            return -1;
        }
        --pendingPresses_;
        input_event events[2] = {};
        events[0].type = EV_KEY;
        events[0].code = KEY_CAMERA;
        events[0].value = 1;
        events[1].type = EV_SYN;
        std::memcpy(buffer, events, sizeof events);
        return sizeof events;
    };
    calls.poll = [this](pollfd* fds, nfds_t count, int timeoutMs) { return Poll(fds, count, timeoutMs); };
    return calls;
}

int FakeV4l2Camera::Poll(pollfd* fds, nfds_t count, int timeoutMs)
{
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 1 << 30 : timeoutMs);
    for (;;) {
        int ready = 0;
        for (nfds_t i = 0; i < count; ++i) {
            fds[i].revents = 0;
            if (fds[i].fd == kVideoFd) {
                std::lock_guard lock(mutex_);
                if (!plugged_) fds[i].revents = POLLERR;
                else if (streaming_ && !stalled_ && !queued_.empty() && FrameIsDue()) fds[i].revents = POLLIN;
            } else if (fds[i].fd == kButtonFd) {
                std::lock_guard lock(mutex_);
                if (pendingPresses_ > 0) fds[i].revents = POLLIN;
            } else {
                pollfd real = fds[i];
                if (::poll(&real, 1, 0) > 0) fds[i].revents = real.revents;
            }
            if (fds[i].revents) ++ready;
        }
        if (ready > 0 || std::chrono::steady_clock::now() >= deadline) return ready;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void FakeV4l2Camera::FillFrame(std::vector<std::uint8_t>& buffer, std::uint32_t& bytesUsed)
{
    if (pixelFormat_ == V4L2_PIX_FMT_MJPEG && reuseJpeg_ && !madeJpeg_.isEmpty()) {
        const std::size_t size = std::min<std::size_t>(static_cast<std::size_t>(madeJpeg_.size()), buffer.size());
        std::memcpy(buffer.data(), madeJpeg_.constData(), size);
        bytesUsed = static_cast<std::uint32_t>(size);
        return;
    }
    if (pixelFormat_ == V4L2_PIX_FMT_MJPEG) {
        // A real colour JPEG as a UVC camera sends it (the standard Huffman tables left out):
        // rows of grey by row number, the frame's mark in the top-left block.
        const std::size_t stride = width_ * 3;
        std::vector<std::uint8_t> picture(stride * height_);
        for (std::uint32_t y = 0; y < height_; ++y)
            std::memset(picture.data() + stride * y, static_cast<int>(y % kPoison), stride);
        for (std::uint32_t y = 0; y < 64 && y < height_; ++y)
            std::memset(picture.data() + stride * y, MarkOf(sequence_), std::min<std::size_t>(64 * 3, stride));
        std::vector<std::uint8_t> encoded;
        EncodeJpeg(picture.data(), static_cast<int>(width_), static_cast<int>(height_), stride, 95, encoded);
        const std::vector<std::uint8_t> sent = WithoutHuffmanTables(encoded.data(), encoded.size());
        if (reuseJpeg_)
            madeJpeg_ = QByteArray(reinterpret_cast<const char*>(sent.data()), static_cast<qsizetype>(sent.size()));
        const std::size_t size = std::min(sent.size(), buffer.size());
        std::memcpy(buffer.data(), sent.data(), size);
        bytesUsed = static_cast<std::uint32_t>(size);
        return;
    }
    // YUYV: grey rows (Y the row number, U and V at 128); the padding after each row holds
    // the poison.
    const std::size_t rowBytes = width_ * 2;
    const std::size_t stride = rowBytes + rowPadding_;
    for (std::uint32_t y = 0; y < height_; ++y) {
        std::uint8_t* row = buffer.data() + stride * y;
        for (std::size_t x = 0; x < rowBytes; x += 2) {
            row[x] = static_cast<std::uint8_t>(y % kPoison);
            row[x + 1] = 128;
        }
        std::memset(row + rowBytes, kPoison, rowPadding_);
    }
    bytesUsed = static_cast<std::uint32_t>(stride * height_);
}

int FakeV4l2Camera::Ioctl(unsigned long request, void* argument)
{
    std::lock_guard lock(mutex_);
    if (!plugged_) {
        errno = ENODEV;
        return -1;
    }
    switch (request) {
    case VIDIOC_QUERYCAP: {
        auto* cap = static_cast<v4l2_capability*>(argument);
        *cap = {};
        cap->device_caps = deviceCaps_;
        cap->capabilities = deviceCaps_ | V4L2_CAP_DEVICE_CAPS;
        return 0;
    }
    case VIDIOC_G_FMT:
    case VIDIOC_S_FMT: {
        auto* fmt = static_cast<v4l2_format*>(argument);
        if (request == VIDIOC_S_FMT) {
            if (streaming_) {
                errno = EBUSY;
                return -1;
            }
            // The nearest size the camera has, in MJPEG when it offers it, else YUYV.
            const bool big = fmt->fmt.pix.width >= 1000;
            width_ = big ? 1280 : 640;
            height_ = big ? 1024 : 480;
            pixelFormat_ =
                fmt->fmt.pix.pixelformat == V4L2_PIX_FMT_MJPEG && offersMjpeg_ ? V4L2_PIX_FMT_MJPEG : V4L2_PIX_FMT_YUYV;
        }
        fmt->fmt.pix.width = width_;
        fmt->fmt.pix.height = height_;
        fmt->fmt.pix.pixelformat = pixelFormat_;
        fmt->fmt.pix.field = V4L2_FIELD_NONE;
        fmt->fmt.pix.bytesperline = pixelFormat_ == V4L2_PIX_FMT_MJPEG ? 0 : width_ * 2 + rowPadding_;
        fmt->fmt.pix.sizeimage =
            pixelFormat_ == V4L2_PIX_FMT_MJPEG ? width_ * height_ * 3 : fmt->fmt.pix.bytesperline * height_;
        return 0;
    }
    case VIDIOC_TRY_FMT: {
        auto* fmt = static_cast<v4l2_format*>(argument);
        const bool big = fmt->fmt.pix.width >= 1000;
        fmt->fmt.pix.width = big ? 1280 : 640;
        fmt->fmt.pix.height = big ? 1024 : 480;
        if (fmt->fmt.pix.pixelformat != V4L2_PIX_FMT_MJPEG || !offersMjpeg_)
            fmt->fmt.pix.pixelformat = V4L2_PIX_FMT_YUYV;
        fmt->fmt.pix.field = V4L2_FIELD_NONE;
        fmt->fmt.pix.bytesperline = fmt->fmt.pix.pixelformat == V4L2_PIX_FMT_MJPEG ? 0 : fmt->fmt.pix.width * 2;
        fmt->fmt.pix.sizeimage = fmt->fmt.pix.width * fmt->fmt.pix.height * 3;
        return 0;
    }
    case VIDIOC_ENUM_FMT: {
        auto* description = static_cast<v4l2_fmtdesc*>(argument);
        std::vector<std::uint32_t> formats;
        if (offersMjpeg_) formats.push_back(V4L2_PIX_FMT_MJPEG);
        formats.push_back(V4L2_PIX_FMT_YUYV);
        if (description->index >= formats.size()) {
            errno = EINVAL;
            return -1;
        }
        description->pixelformat = formats[description->index];
        description->flags = description->pixelformat == V4L2_PIX_FMT_MJPEG ? V4L2_FMT_FLAG_COMPRESSED : 0;
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto* size = static_cast<v4l2_frmsizeenum*>(argument);
        if (size->index > 1) {
            errno = EINVAL;
            return -1;
        }
        size->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        size->discrete = size->index == 0 ? v4l2_frmsize_discrete{640, 480} : v4l2_frmsize_discrete{1280, 1024};
        return 0;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
        // MJPEG: 30 and 15 frames a second; YUYV: 30 at 640 x 480, 9 and 5 at 1280 x 1024.
        auto* interval = static_cast<v4l2_frmivalenum*>(argument);
        std::vector<v4l2_fract> listed;
        if (interval->pixel_format == V4L2_PIX_FMT_MJPEG) listed = {{1, 30}, {1, 15}};
        else if (interval->width >= 1000) listed = {{1, 9}, {1, 5}};
        else listed = {{1, 30}};
        if (interval->index >= listed.size()) {
            errno = EINVAL;
            return -1;
        }
        interval->type = V4L2_FRMIVAL_TYPE_DISCRETE;
        interval->discrete = listed[interval->index];
        return 0;
    }
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM: {
        auto* parm = static_cast<v4l2_streamparm*>(argument);
        if (request == VIDIOC_S_PARM) {
            intervalNumerator_ = parm->parm.capture.timeperframe.numerator;
            intervalDenominator_ = parm->parm.capture.timeperframe.denominator;
        }
        parm->parm.capture.timeperframe = {intervalNumerator_, intervalDenominator_};
        return 0;
    }
    case VIDIOC_REQBUFS: {
        auto* request = static_cast<v4l2_requestbuffers*>(argument);
        buffers_.assign(request->count, std::vector<std::uint8_t>((width_ * 3 + rowPadding_) * height_));
        queued_.clear();
        return 0;
    }
    case VIDIOC_QUERYBUF: {
        auto* buffer = static_cast<v4l2_buffer*>(argument);
        if (buffer->index >= buffers_.size()) {
            errno = EINVAL;
            return -1;
        }
        buffer->length = static_cast<std::uint32_t>(buffers_[buffer->index].size());
        buffer->m.offset = buffer->index << 12;
        return 0;
    }
    case VIDIOC_QBUF: {
        const std::uint32_t index = static_cast<v4l2_buffer*>(argument)->index;
        if (index >= buffers_.size() || std::find(queued_.begin(), queued_.end(), index) != queued_.end()) {
            errno = EINVAL;
            return -1;
        }
        queued_.push_back(index);
        return 0;
    }
    case VIDIOC_DQBUF: {
        const bool scripted = !faults_.empty();
        const Fault fault = scripted ? faults_.front() : Fault::ErrorFlag;
        if (scripted) faults_.pop_front();
        if (scripted && fault == Fault::Eagain) {
            errno = EAGAIN;
            return -1;
        }
        if (queued_.empty()) {
            errno = EAGAIN;
            return -1;
        }
        if (!FrameIsDue()) {
            errno = EAGAIN;
            return -1;
        }
        if (paced_) {
            // The next frame comes one interval later; a consumer that fell behind finds
            // the camera's clock gone on, as a real sensor's does.
            const auto interval = std::chrono::microseconds(1'000'000LL * intervalNumerator_ / intervalDenominator_);
            nextDue_ = std::max(nextDue_ + interval, std::chrono::steady_clock::now() - interval);
        }
        auto* buffer = static_cast<v4l2_buffer*>(argument);
        buffer->index = queued_.front();
        queued_.pop_front();
        buffer->bytesused = static_cast<std::uint32_t>(buffers_[buffer->index].size());
        if (scripted && fault == Fault::TruncatedJpeg) {
            // A frame cut short on the wire: a third of a good JPEG.
            ++sequence_;
            FillFrame(buffers_[buffer->index], buffer->bytesused);
            buffer->bytesused /= 3;
            buffer->flags = 0;
            return 0;
        }
        ++sequence_;
        const bool damaged = scripted ? fault == Fault::ErrorFlag : occasionalDamage_ && sequence_ % 5 == 0;
        if (scripted && fault == Fault::Eio) {
            // The driver hands the buffer out with an error: it is the caller's to give back.
            std::fill(buffers_[buffer->index].begin(), buffers_[buffer->index].end(), kPoison);
            errno = EIO;
            return -1;
        }
        if (damaged) std::fill(buffers_[buffer->index].begin(), buffers_[buffer->index].end(), kPoison);
        else FillFrame(buffers_[buffer->index], buffer->bytesused);
        buffer->flags = damaged ? V4L2_BUF_FLAG_ERROR : 0;
        return 0;
    }
    case VIDIOC_STREAMON:
        if (failRestarts_ && streamOnCount_ > 0) {
            errno = EIO;
            return -1;
        }
        ++streamOnCount_;
        streaming_ = true;
        if (!stallForGood_) stalled_ = false; // a restart clears a passing stall
        return 0;
    case VIDIOC_STREAMOFF: streaming_ = false; return 0;
    case VIDIOC_QUERYCTRL: {
        auto* query = static_cast<v4l2_queryctrl*>(argument);
        if (!controls_.count(query->id)) {
            errno = EINVAL;
            return -1;
        }
        query->minimum = 0;
        query->maximum = 255;
        query->step = 1;
        query->default_value = query->id == V4L2_CID_BRIGHTNESS ? 128 : 32;
        query->flags = 0;
        return 0;
    }
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL: {
        auto* control = static_cast<v4l2_control*>(argument);
        if (!controls_.count(control->id)) {
            errno = EINVAL;
            return -1;
        }
        if (request == VIDIOC_S_CTRL && controlsBusyWhileStreaming_ && streaming_) {
            errno = EBUSY;
            return -1;
        }
        if (request == VIDIOC_S_CTRL) controls_[control->id] = control->value;
        control->value = controls_[control->id];
        return 0;
    }
    case VIDIOC_ENUMINPUT: {
        auto* input = static_cast<v4l2_input*>(argument);
        if (input->index >= inputCount_) {
            errno = EINVAL;
            return -1;
        }
        input->type = input->index == 0 ? V4L2_INPUT_TYPE_CAMERA : V4L2_INPUT_TYPE_TUNER;
        input->std = 0;
        return 0;
    }
    default: errno = ENOTTY; return -1;
    }
}
