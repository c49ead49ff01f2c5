#include "V4l2Source.h"

#include <linux/input.h>
#include <linux/videodev2.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>

namespace backend {

namespace {

constexpr std::uint32_t kBufferCount = 4;

std::uint16_t BitCountOf(std::uint32_t pixelFormat)
{
    switch (pixelFormat) {
    case V4L2_PIX_FMT_YUYV:
    case V4L2_PIX_FMT_UYVY:
    case V4L2_PIX_FMT_RGB565: return 16;
    case V4L2_PIX_FMT_YUV420:
    case V4L2_PIX_FMT_NV12: return 12;
    case V4L2_PIX_FMT_GREY: return 8;
    default: return 24; // BGR24, RGB24 and compressed formats
    }
}

std::uint32_t ControlOf(int property)
{
    switch (property) {
    case VideoProcAmp_Brightness: return V4L2_CID_BRIGHTNESS;
    case VideoProcAmp_Contrast: return V4L2_CID_CONTRAST;
    case VideoProcAmp_Hue: return V4L2_CID_HUE;
    case VideoProcAmp_Saturation: return V4L2_CID_SATURATION;
    case VideoProcAmp_Sharpness: return V4L2_CID_SHARPNESS;
    case VideoProcAmp_Gamma: return V4L2_CID_GAMMA;
    default: return 0;
    }
}

Result FromErrno()
{
    return errno == ENODEV || errno == EIO ? kDeviceGone : kFail;
}

} // namespace

V4l2Source::V4l2Source(const KernelCalls& calls, VideoNode node) : calls_(calls), node_(std::move(node))
{
    fd_ = calls_.videoOpen(node_.devnode.c_str(), O_RDWR | O_NONBLOCK);
    v4l2_capability capability{};
    if (fd_ >= 0 && (Ioctl(VIDIOC_QUERYCAP, &capability) < 0 ||
                     !((capability.device_caps ? capability.device_caps : capability.capabilities) & V4L2_CAP_STREAMING))) {
        calls_.videoClose(fd_);
        fd_ = -1;
    }
    // The still button is optional: without it (or without the right to read it) the
    // camera still streams.
    if (fd_ >= 0 && !node_.buttonNode.empty()) buttonFd_ = calls_.open(node_.buttonNode.c_str(), O_RDONLY | O_NONBLOCK);
}

V4l2Source::~V4l2Source()
{
    Stop();
    if (buttonFd_ >= 0) calls_.close(buttonFd_);
    if (fd_ >= 0) calls_.videoClose(fd_);
}

int V4l2Source::Ioctl(unsigned long request, void* argument) const
{
    return RetryIoctl(calls_, fd_, request, argument);
}

Result V4l2Source::GetFormat(VideoInfoHeader& format) const
{
    if (fd_ < 0) return kFail;
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Ioctl(VIDIOC_G_FMT, &fmt) < 0) return FromErrno();
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    std::int64_t interval = 0;
    if (Ioctl(VIDIOC_G_PARM, &parm) == 0 && parm.parm.capture.timeperframe.denominator != 0)
        interval = static_cast<std::int64_t>(parm.parm.capture.timeperframe.numerator) * 10000000 /
                   parm.parm.capture.timeperframe.denominator;
    format = VideoInfoHeader{};
    format.width = static_cast<std::int32_t>(fmt.fmt.pix.width);
    format.height = static_cast<std::int32_t>(fmt.fmt.pix.height);
    format.bitCount = BitCountOf(fmt.fmt.pix.pixelformat);
    format.compression = fmt.fmt.pix.pixelformat;
    format.imageSize = fmt.fmt.pix.sizeimage;
    format.averageTimePerFrame = interval;
    const std::uint32_t fps = interval > 0 ? static_cast<std::uint32_t>(10000000 / interval) : 0;
    format.bitRate = fps * format.imageSize * 8u;
    return kOk;
}

Result V4l2Source::SetFormat(const VideoInfoHeader& format)
{
    if (fd_ < 0) return kFail;
    if (running_) return kFail;
    if (format.width <= 0 || format.height == 0) return kInvalidArgument;
    const std::uint32_t width = static_cast<std::uint32_t>(format.width);
    const std::uint32_t height = static_cast<std::uint32_t>(std::abs(format.height));
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    fmt.fmt.pix.width = width;
    fmt.fmt.pix.height = height;
    fmt.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24; // libv4l2 converts from what the camera sends
    fmt.fmt.pix.field = V4L2_FIELD_ANY;
    if (Ioctl(VIDIOC_S_FMT, &fmt) < 0) return FromErrno();
    // A camera answers with the nearest size it has; another size is a refusal.
    if (fmt.fmt.pix.width != width || fmt.fmt.pix.height != height) return kInvalidArgument;
    if (format.averageTimePerFrame > 0) {
        v4l2_streamparm parm{};
        parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        parm.parm.capture.timeperframe.numerator = static_cast<std::uint32_t>(format.averageTimePerFrame);
        parm.parm.capture.timeperframe.denominator = 10000000;
        Ioctl(VIDIOC_S_PARM, &parm); // a camera with a fixed rate keeps it
    }
    return kOk;
}

Result V4l2Source::ConnectGrabber(int pin, const std::string& name, bool oneShot, SampleGrabberCallback* callback)
{
    if (pin < 0 || pin > 1 || running_ || fd_ < 0) return kCannotConnect;
    if (grabbers_[pin].callback) return kAlreadyConnected;
    grabbers_[pin] = Grabber{name, oneShot, callback};
    return kOk;
}

void V4l2Source::DisconnectAll()
{
    for (auto& grabber : grabbers_) grabber = Grabber{};
}

int V4l2Source::ConnectedGrabberCount() const
{
    return (grabbers_[0].callback ? 1 : 0) + (grabbers_[1].callback ? 1 : 0);
}

Result V4l2Source::StartStreaming()
{
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Ioctl(VIDIOC_G_FMT, &fmt) < 0) return FromErrno();
    if (fmt.fmt.pix.pixelformat != V4L2_PIX_FMT_BGR24) {
        fmt.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
        if (Ioctl(VIDIOC_S_FMT, &fmt) < 0 || fmt.fmt.pix.pixelformat != V4L2_PIX_FMT_BGR24) return FromErrno();
    }
    width_ = static_cast<int>(fmt.fmt.pix.width);
    height_ = static_cast<int>(fmt.fmt.pix.height);
    bytesPerLine_ = fmt.fmt.pix.bytesperline ? fmt.fmt.pix.bytesperline : static_cast<std::size_t>(width_) * 3;
    frame_.assign(((static_cast<std::size_t>(width_) * 3 + 3) & ~std::size_t{3}) * static_cast<std::size_t>(height_), 0);

    v4l2_requestbuffers request{};
    request.count = kBufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (Ioctl(VIDIOC_REQBUFS, &request) < 0 || request.count == 0) return FromErrno();
    for (std::uint32_t i = 0; i < request.count; ++i) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = i;
        if (Ioctl(VIDIOC_QUERYBUF, &buffer) < 0) return FromErrno();
        void* address = calls_.videoMmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, buffer.m.offset);
        if (address == MAP_FAILED) return FromErrno();
        buffers_.push_back({address, buffer.length});
        if (Ioctl(VIDIOC_QBUF, &buffer) < 0) return FromErrno();
    }
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Ioctl(VIDIOC_STREAMON, &type) < 0) return FromErrno();
    return kOk;
}

void V4l2Source::StopStreaming()
{
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    Ioctl(VIDIOC_STREAMOFF, &type); // fails harmlessly on a camera that is gone
    for (const Mapping& mapping : buffers_) calls_.videoMunmap(mapping.address, mapping.length);
    buffers_.clear();
    v4l2_requestbuffers request{};
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    Ioctl(VIDIOC_REQBUFS, &request);
}

Result V4l2Source::Run()
{
    if (running_) return kOk;
    if (fd_ < 0) return kFail;
    const Result started = StartStreaming();
    if (Failed(started)) {
        StopStreaming();
        return started;
    }
    stopFd_ = eventfd(0, EFD_CLOEXEC);
    running_ = true;
    thread_ = std::thread([this] { StreamLoop(); });
    return kOk;
}

Result V4l2Source::Stop()
{
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(stopFd_, &one, sizeof one);
        thread_.join(); // every callback has returned after this
    }
    if (stopFd_ >= 0) {
        ::close(stopFd_);
        stopFd_ = -1;
    }
    if (running_) StopStreaming();
    running_ = false;
    return kOk;
}

void V4l2Source::StreamLoop()
{
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        pollfd fds[3] = {{stopFd_, POLLIN, 0}, {fd_, POLLIN, 0}, {buttonFd_, POLLIN, 0}};
        const nfds_t count = buttonFd_ >= 0 ? 3 : 2;
        const int ready = calls_.poll(fds, count, 1000);
        if (fds[0].revents & POLLIN) return;
        bool lost = ready < 0 && errno != EINTR;
        if (ready > 0) {
            if (count == 3 && (fds[2].revents & POLLIN)) ReadButton();
            if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) {
                lost = true;
            } else if (fds[1].revents & POLLIN) {
                v4l2_buffer buffer{};
                buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
                buffer.memory = V4L2_MEMORY_MMAP;
                if (Ioctl(VIDIOC_DQBUF, &buffer) < 0) {
                    lost = errno != EAGAIN;
                } else {
                    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                    // A buffer flagged as damaged is given back unused.
                    if (!(buffer.flags & V4L2_BUF_FLAG_ERROR)) DeliverBuffer(buffer.index, buffer.bytesused, seconds);
                    lost = Ioctl(VIDIOC_QBUF, &buffer) < 0;
                }
            }
        }
        if (lost) {
            // The camera went away mid-stream: no more samples. The graph reports it, the
            // device notifications restart the engine, and this thread waits to be stopped.
            events_.Queue(kEventDeviceLost);
            pollfd stop{stopFd_, POLLIN, 0};
            while (calls_.poll(&stop, 1, -1) <= 0 && !(stop.revents & POLLIN)) {
            }
            return;
        }
    }
}

bool V4l2Source::DeliverBuffer(std::uint32_t index, std::uint32_t bytesUsed, double seconds)
{
    if (index >= buffers_.size()) return false;
    const auto* source = static_cast<const std::uint8_t*>(buffers_[index].address);
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 3;
    if (static_cast<std::size_t>(bytesUsed) < bytesPerLine_ * static_cast<std::size_t>(height_ - 1) + rowBytes) return false;
    const std::size_t stride = (rowBytes + 3) & ~std::size_t{3};
    for (int y = 0; y < height_; ++y)
        std::memcpy(frame_.data() + stride * static_cast<std::size_t>(height_ - 1 - y),
                    source + bytesPerLine_ * static_cast<std::size_t>(y), rowBytes);
    // A button press goes out on the still output first, then the frame on the capture output.
    if (stillPressed_.exchange(false) && grabbers_[1].callback) grabbers_[1].callback->BufferCB(seconds, frame_.data(), frame_.size());
    if (grabbers_[0].callback) grabbers_[0].callback->BufferCB(seconds, frame_.data(), frame_.size());
    return true;
}

void V4l2Source::ReadButton()
{
    input_event events[16];
    for (;;) {
        const ssize_t got = calls_.read(buttonFd_, events, sizeof events);
        if (got <= 0) return;
        for (std::size_t i = 0; i < static_cast<std::size_t>(got) / sizeof(input_event); ++i)
            if (events[i].type == EV_KEY && events[i].value == 1 && (events[i].code == KEY_CAMERA || events[i].code == BTN_0))
                stillPressed_ = true;
    }
}

void V4l2Source::SetEventNotify(std::function<void()> wake)
{
    events_.SetWake(std::move(wake));
}

bool V4l2Source::GetEvent(long& code, long& param1, long& param2)
{
    return events_.Take(code, param1, param2);
}


Result V4l2Source::GetRange(int property, PropertyRange& range) const
{
    v4l2_queryctrl query{};
    query.id = ControlOf(property);
    if (!query.id || Ioctl(VIDIOC_QUERYCTRL, &query) < 0 || (query.flags & V4L2_CTRL_FLAG_DISABLED)) return kNotFound;
    range = {query.minimum, query.maximum, query.step, query.default_value, kVideoProcAmpFlagsManual};
    return kOk;
}

Result V4l2Source::Get(int property, int& value, int& flags) const
{
    v4l2_control control{ControlOf(property), 0};
    if (!control.id || Ioctl(VIDIOC_G_CTRL, &control) < 0) return kNotFound;
    value = control.value;
    flags = kVideoProcAmpFlagsManual;
    return kOk;
}

Result V4l2Source::Set(int property, int value, int)
{
    v4l2_control control{ControlOf(property), value};
    if (!control.id || Ioctl(VIDIOC_S_CTRL, &control) < 0) return FromErrno();
    return kOk;
}

int V4l2Source::AnalogInputCount() const
{
    int count = 0;
    for (std::uint32_t index = 0; index < 64; ++index) {
        v4l2_input input{};
        input.index = index;
        if (Ioctl(VIDIOC_ENUMINPUT, &input) < 0) break;
        if (input.type == V4L2_INPUT_TYPE_TUNER || input.std != 0) ++count;
    }
    return count;
}

bool V4l2Source::CanRoute(int input) const
{
    return input >= 0 && input < AnalogInputCount();
}

Result V4l2Source::Route(int input)
{
    int index = input;
    return Ioctl(VIDIOC_S_INPUT, &index) < 0 ? FromErrno() : kOk;
}

} // namespace backend
