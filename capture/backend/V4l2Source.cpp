#include "capture/backend/V4l2Source.h"

#include "capture/backend/V4l2Formats.h"
#include "framework/Logging.h"

#include <pthread.h>

#include <linux/input.h>
#include <linux/videodev2.h>

#include <algorithm>
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
    case CameraControl_Focus: return V4L2_CID_FOCUS_ABSOLUTE;
    default: return 0;
    }
}

// The camera's own automatic for a property, where V4L2 has one: on when it is 1.
std::uint32_t AutomaticOf(int property)
{
    switch (property) {
    case VideoProcAmp_Brightness: return V4L2_CID_AUTOBRIGHTNESS;
    case VideoProcAmp_Hue: return V4L2_CID_HUE_AUTO;
    case CameraControl_Focus: return V4L2_CID_FOCUS_AUTO;
    default: return 0;
    }
}

Result FromErrno()
{
    switch (errno) {
    case ENODEV:
    case ENOENT:
    case ENXIO: return Result::DeviceGone;
    case EACCES:
    case EPERM: return Result::AccessDenied;
    case EBUSY: return Result::Busy;
    default: return Result::Failed;
    }
}

} // namespace

V4l2Source::V4l2Source(const KernelCalls& calls, VideoNode node) : calls_(calls), node_(std::move(node))
{
    fd_ = OwnedFd(calls_.videoOpen(node_.devnode.c_str(), O_RDWR | O_NONBLOCK), calls_.videoClose);
    if (!fd_.IsValid()) {
        openError_ = FromErrno();
        qCWarning(lcCapture) << "cannot open" << node_.devnode.c_str() << ":" << std::strerror(errno);
        return;
    }
    v4l2_capability capability{};
    if (Ioctl(VIDIOC_QUERYCAP, &capability) < 0) {
        openError_ = FromErrno();
        fd_.Reset();
        return;
    }
    const std::uint32_t caps =
        (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps : capability.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING)) {
        qCInfo(lcCapture) << node_.devnode.c_str() << "is no streaming camera";
        openError_ = Result::NotSupported;
        fd_.Reset();
        return;
    }
    // The converter asks the camera through the same table of calls.
    converter_ = FrameConverter::ForNode(fd_.Get(), &calls_);
    if (!converter_) {
        openError_ = Result::Failed;
        fd_.Reset();
        return;
    }
    // The still button is optional: without it (or without the right to read it) the
    // camera still streams.
    if (!node_.buttonNode.empty()) {
        buttonFd_ = OwnedFd(calls_.open(node_.buttonNode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC), calls_.close);
        if (!buttonFd_.IsValid())
            qCInfo(lcCapture) << "the still button" << node_.buttonNode.c_str()
                              << "cannot be read:" << std::strerror(errno);
    }
}

V4l2Source::~V4l2Source()
{
    Stop();
    converter_.reset(); // before the descriptor it asks through
}

int V4l2Source::Ioctl(unsigned long request, void* argument) const
{
    return RetryIoctl(calls_, fd_.Get(), request, argument);
}

Result V4l2Source::GetFormat(VideoInfoHeader& format) const
{
    if (!IsOpen()) return Result::Failed;
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
    return Result::Ok;
}

Result V4l2Source::SetFormat(const VideoInfoHeader& format)
{
    if (!IsOpen()) return Result::Failed;
    if (running_) return Result::Failed;
    if (format.width <= 0 || format.height == 0) return Result::InvalidArgument;
    const std::uint32_t width = static_cast<std::uint32_t>(format.width);
    const std::uint32_t height = static_cast<std::uint32_t>(std::abs(format.height));
    const std::optional<CameraFormatChoice> choice =
        ChooseCameraFormat(calls_, fd_.Get(), width, height, format.averageTimePerFrame);
    if (!choice) return Result::NotSupported;
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    fmt.fmt.pix.width = width;
    fmt.fmt.pix.height = height;
    fmt.fmt.pix.pixelformat = choice->pixelFormat;
    fmt.fmt.pix.field = V4L2_FIELD_ANY;
    if (Ioctl(VIDIOC_S_FMT, &fmt) < 0) return FromErrno();
    // A camera answers with the nearest size it has; another size is a refusal.
    if (fmt.fmt.pix.width != width || fmt.fmt.pix.height != height) return Result::InvalidArgument;
    const std::uint32_t code = fmt.fmt.pix.pixelformat;
    qCInfo(lcCapture).noquote()
        << node_.devnode.c_str() << "sends" << width << "x" << height << "as"
        << QByteArray(reinterpret_cast<const char*>(&code), 4)
        << (choice->intervalDenominator
                ? QStringLiteral("at %1/%2 s").arg(choice->intervalNumerator).arg(choice->intervalDenominator)
                : QStringLiteral("at its own rate"));
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (choice->intervalDenominator) {
        parm.parm.capture.timeperframe = {choice->intervalNumerator, choice->intervalDenominator};
        Ioctl(VIDIOC_S_PARM, &parm);
    } else if (format.averageTimePerFrame > 0) {
        parm.parm.capture.timeperframe.numerator = static_cast<std::uint32_t>(format.averageTimePerFrame);
        parm.parm.capture.timeperframe.denominator = 10000000;
        Ioctl(VIDIOC_S_PARM, &parm); // a camera with a fixed rate keeps it
    }
    return Result::Ok;
}

Result V4l2Source::ConnectGrabber(int pin, SampleGrabberCallback* callback)
{
    if (pin < 0 || pin > 1 || running_ || !IsOpen()) return Result::CannotConnect;
    if (grabbers_[pin]) return Result::AlreadyConnected;
    grabbers_[pin] = callback;
    return Result::Ok;
}

void V4l2Source::DisconnectAll()
{
    grabbers_[0] = grabbers_[1] = nullptr;
}

int V4l2Source::ConnectedGrabberCount() const
{
    return (grabbers_[0] ? 1 : 0) + (grabbers_[1] ? 1 : 0);
}

Result V4l2Source::StartStreaming()
{
    // The camera sends its own format; libv4lconvert makes 24-bit BGR of it frame by frame.
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Ioctl(VIDIOC_G_FMT, &fmt) < 0) return FromErrno();
    converter_->SetSourceFormat(fmt);

    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    frameInterval100ns_ = 0;
    if (Ioctl(VIDIOC_G_PARM, &parm) == 0 && parm.parm.capture.timeperframe.denominator != 0)
        frameInterval100ns_ = static_cast<std::int64_t>(parm.parm.capture.timeperframe.numerator) * 10000000 /
                              parm.parm.capture.timeperframe.denominator;

    focusMotor_ = HasControl(V4L2_CID_FOCUS_ABSOLUTE);
    focusAutomatic_ = focusMotor_ && HasControl(V4L2_CID_FOCUS_AUTO);

    v4l2_requestbuffers request{};
    request.count = kBufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (Ioctl(VIDIOC_REQBUFS, &request) < 0) return FromErrno();
    if (request.count == 0) return Result::Failed;
    for (std::uint32_t i = 0; i < request.count; ++i) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = i;
        if (Ioctl(VIDIOC_QUERYBUF, &buffer) < 0) return FromErrno();
        void* address =
            calls_.videoMmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_.Get(), buffer.m.offset);
        if (address == MAP_FAILED) return FromErrno();
        buffers_.emplace_back(address, buffer.length, calls_.videoMunmap);
        if (Ioctl(VIDIOC_QBUF, &buffer) < 0) return FromErrno();
    }
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Ioctl(VIDIOC_STREAMON, &type) < 0) return FromErrno();
    return Result::Ok;
}

void V4l2Source::StopStreaming()
{
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    Ioctl(VIDIOC_STREAMOFF, &type); // fails harmlessly on a camera that is gone
    buffers_.clear();               // unmaps them
    v4l2_requestbuffers request{};
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    Ioctl(VIDIOC_REQBUFS, &request);
}

Result V4l2Source::Run()
{
    if (running_) return Result::Ok;
    if (!IsOpen()) return Result::Failed;
    stopFd_ = OwnedFd(calls_.eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK), calls_.close);
    if (!stopFd_.IsValid()) {
        // Without the stop signal the streaming thread could never be ended.
        qCWarning(lcCapture) << "no stop signal for the stream:" << std::strerror(errno);
        return Result::Failed;
    }
    const Result started = StartStreaming();
    if (Failed(started)) {
        qCWarning(lcCapture) << "cannot start streaming" << node_.devnode.c_str() << ":" << std::strerror(errno);
        StopStreaming();
        stopFd_.Reset();
        return started;
    }
    running_ = true;
    thread_ = std::thread([this] { StreamLoop(); });
    return Result::Ok;
}

Result V4l2Source::Stop()
{
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        if (calls_.write(stopFd_.Get(), &one, sizeof one) != static_cast<ssize_t>(sizeof one))
            qCWarning(lcCapture) << "the stop signal could not be sent:" << std::strerror(errno);
        thread_.join(); // every callback has returned after this
    }
    stopFd_.Reset();
    if (running_) StopStreaming();
    running_ = false;
    return Result::Ok;
}

std::chrono::milliseconds V4l2Source::StallTimeout() const
{
    const auto fivePeriods = std::chrono::milliseconds(frameInterval100ns_ * 5 / 10000);
    return std::max<std::chrono::milliseconds>(fivePeriods, std::chrono::seconds(2));
}

void V4l2Source::ReportAndWaitForStop(StreamEvent event)
{
    if (eventSink_) eventSink_(event);
    pollfd stop{stopFd_.Get(), POLLIN, 0};
    while (!(calls_.poll(&stop, 1, -1) > 0 && (stop.revents & POLLIN))) {}
}

bool V4l2Source::Requeue(v4l2_buffer& buffer)
{
    if (buffer.index >= buffers_.size()) return true;
    if (Ioctl(VIDIOC_QBUF, &buffer) == 0) return true;
    // EINVAL: the driver kept the buffer queued itself; only a vanished camera is fatal.
    return errno != ENODEV;
}

V4l2Source::Dequeued V4l2Source::DequeueOne(std::chrono::steady_clock::time_point start)
{
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    buffer.index = ~0u;
    if (Ioctl(VIDIOC_DQBUF, &buffer) < 0) {
        const int error = errno;
        if (error == ENODEV) return Dequeued::Lost;
        // EIO (libv4l2 could not convert, or the driver flagged the buffer), EAGAIN after
        // POLLIN: a buffer the driver handed out is given back and streaming goes on.
        qCDebug(lcCapture) << "DQBUF failed:" << std::strerror(error);
        if (error == EIO && !Requeue(buffer)) return Dequeued::Lost;
        return Dequeued::Damaged;
    }
    bool delivered = false;
    if (buffer.flags & V4L2_BUF_FLAG_ERROR) {
        qCDebug(lcCapture) << "buffer" << buffer.index << "flagged as damaged";
    } else {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        delivered = DeliverBuffer(buffer.index, buffer.bytesused, seconds);
        if (!delivered) qCDebug(lcCapture) << "short buffer:" << buffer.bytesused << "bytes";
    }
    if (!Requeue(buffer)) return Dequeued::Lost;
    return delivered ? Dequeued::Frame : Dequeued::Damaged;
}

void V4l2Source::StreamLoop()
{
    pthread_setname_np(pthread_self(), "qrv-camera");
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto lastFrame = start;
    int errorRun = 0;
    bool restartedSinceLastFrame = false;
    for (;;) {
        const auto deadline = lastFrame + StallTimeout();
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd fds[3] = {{stopFd_.Get(), POLLIN, 0}, {fd_.Get(), POLLIN, 0}, {buttonFd_.Get(), POLLIN, 0}};
        const nfds_t count = buttonFd_.IsValid() ? 3 : 2;
        const int ready = calls_.poll(fds, count, static_cast<int>(std::max<long long>(wait, 0) + 1));
        if (fds[0].revents & POLLIN) return;
        if (ready < 0 && errno != EINTR) {
            qCWarning(lcCapture) << "poll failed:" << std::strerror(errno);
            ReportAndWaitForStop(StreamEvent::DeviceLost);
            return;
        }
        if (ready > 0) {
            if (count == 3 && (fds[2].revents & POLLIN)) ReadButton();
            const short video = fds[1].revents;
            if (video & (POLLHUP | POLLNVAL)) {
                qCWarning(lcCapture) << node_.devnode.c_str() << "hung up";
                ReportAndWaitForStop(StreamEvent::DeviceLost);
                return;
            }
            if (video & POLLIN) {
                switch (DequeueOne(start)) {
                case Dequeued::Frame:
                    lastFrame = Clock::now();
                    errorRun = 0;
                    restartedSinceLastFrame = false;
                    break;
                case Dequeued::Damaged: ++errorRun; break;
                case Dequeued::Lost:
                    qCWarning(lcCapture) << node_.devnode.c_str() << "went away";
                    ReportAndWaitForStop(StreamEvent::DeviceLost);
                    return;
                }
            } else if (video & POLLERR) {
                ++errorRun;
            }
        }
        const bool stalled = Clock::now() >= lastFrame + StallTimeout();
        if (errorRun < kErrorRunLimit && !stalled) continue;

        qCWarning(lcCapture) << node_.devnode.c_str()
                             << (stalled ? "delivered no frame in time" : "delivered a run of damaged frames");
        if (restartedSinceLastFrame) {
            qCWarning(lcCapture) << "a restart did not help: the stream has failed";
            ReportAndWaitForStop(StreamEvent::StreamFailed);
            return;
        }
        qCInfo(lcCapture) << "restarting the stream of" << node_.devnode.c_str();
        StopStreaming();
        if (const Result restarted = StartStreaming(); Failed(restarted)) {
            qCWarning(lcCapture) << "the stream could not be restarted:" << std::strerror(errno);
            ReportAndWaitForStop(restarted == Result::DeviceGone ? StreamEvent::DeviceLost : StreamEvent::StreamFailed);
            return;
        }
        restartedSinceLastFrame = true;
        errorRun = 0;
        lastFrame = Clock::now();
    }
}

bool V4l2Source::DeliverBuffer(std::uint32_t index, std::uint32_t bytesUsed, double seconds)
{
    if (index >= buffers_.size()) return false;
    const std::size_t used = std::min<std::size_t>(bytesUsed, buffers_[index].Length());
    const std::uint8_t* bytes = buffers_[index].Data();
    if (!converter_->Convert(bytes, used)) return false;
    const std::vector<std::uint8_t>& frame = converter_->Frame();
    // A button press goes out on the still output first, then the frame on the capture
    // output, after the camera's own bytes of it when they are Motion JPEG.
    if (stillPressed_.exchange(false) && grabbers_[1]) grabbers_[1]->BufferCB(seconds, frame.data(), frame.size());
    if (grabbers_[0]) {
        if (converter_->SendsMotionJpeg()) grabbers_[0]->CompressedCB(seconds, bytes, used);
        if (const auto focus = ManualFocusPosition()) grabbers_[0]->FocusPositionCB(seconds, *focus);
        grabbers_[0]->BufferCB(seconds, frame.data(), frame.size());
    }
    return true;
}

std::optional<int> V4l2Source::ManualFocusPosition() const
{
    if (!focusMotor_) return std::nullopt;
    if (focusAutomatic_) {
        v4l2_control automatic{V4L2_CID_FOCUS_AUTO, 0};
        if (Ioctl(VIDIOC_G_CTRL, &automatic) < 0 || automatic.value != 0) return std::nullopt;
    }
    v4l2_control position{V4L2_CID_FOCUS_ABSOLUTE, 0};
    if (Ioctl(VIDIOC_G_CTRL, &position) < 0) return std::nullopt;
    return position.value;
}

void V4l2Source::ReadButton()
{
    input_event events[16];
    for (;;) {
        const ssize_t got = calls_.read(buttonFd_.Get(), events, sizeof events);
        if (got <= 0) return;
        for (std::size_t i = 0; i < static_cast<std::size_t>(got) / sizeof(input_event); ++i)
            if (events[i].type == EV_KEY && events[i].value == 1 &&
                (events[i].code == KEY_CAMERA || events[i].code == BTN_0))
                stillPressed_ = true;
    }
}

bool V4l2Source::HasControl(std::uint32_t id) const
{
    v4l2_queryctrl query{};
    query.id = id;
    return id && Ioctl(VIDIOC_QUERYCTRL, &query) == 0 && !(query.flags & V4L2_CTRL_FLAG_DISABLED);
}

Result V4l2Source::GetRange(int property, PropertyRange& range) const
{
    v4l2_queryctrl query{};
    query.id = ControlOf(property);
    if (!query.id || Ioctl(VIDIOC_QUERYCTRL, &query) < 0 || (query.flags & V4L2_CTRL_FLAG_DISABLED))
        return Result::NotFound;
    const int flags = kVideoProcAmpFlagsManual | (HasControl(AutomaticOf(property)) ? kVideoProcAmpFlagsAuto : 0);
    range = {query.minimum, query.maximum, query.step, query.default_value, flags};
    return Result::Ok;
}

Result V4l2Source::Get(int property, int& value, int& flags) const
{
    v4l2_control control{ControlOf(property), 0};
    if (!control.id || Ioctl(VIDIOC_G_CTRL, &control) < 0) return Result::NotFound;
    value = control.value;
    v4l2_control automatic{AutomaticOf(property), 0};
    const bool automaticOn = automatic.id && Ioctl(VIDIOC_G_CTRL, &automatic) == 0 && automatic.value != 0;
    flags = automaticOn ? kVideoProcAmpFlagsAuto : kVideoProcAmpFlagsManual;
    return Result::Ok;
}

Result V4l2Source::Set(int property, int value, int flags)
{
    const std::uint32_t id = ControlOf(property);
    if (!id) return Result::NotFound;
    // The camera's automatic goes off before a manual value, and on after the default value.
    const std::uint32_t automaticId = AutomaticOf(property);
    const bool automatic = (flags & kVideoProcAmpFlagsAuto) != 0;
    if (automaticId && !automatic && HasControl(automaticId)) {
        v4l2_control off{automaticId, 0};
        if (Ioctl(VIDIOC_S_CTRL, &off) < 0) return FromErrno();
    }
    v4l2_control control{id, value};
    if (Ioctl(VIDIOC_S_CTRL, &control) < 0) return FromErrno();
    if (automaticId && automatic && HasControl(automaticId)) {
        v4l2_control on{automaticId, 1};
        if (Ioctl(VIDIOC_S_CTRL, &on) < 0) return FromErrno();
    }
    return Result::Ok;
}

void V4l2Source::UseCameraAutomatics()
{
    // Exposure takes aperture priority (automatic time, fixed iris) where the camera offers
    // it, as UVC cameras do; full automatic otherwise.
    const std::pair<std::uint32_t, std::vector<int>> automatics[] = {
        {V4L2_CID_AUTO_WHITE_BALANCE, {1}},
        {V4L2_CID_EXPOSURE_AUTO, {V4L2_EXPOSURE_APERTURE_PRIORITY, V4L2_EXPOSURE_AUTO}},
        {V4L2_CID_AUTOGAIN, {1}},
    };
    for (const auto& [id, values] : automatics) {
        if (!HasControl(id)) continue;
        for (const int value : values) {
            v4l2_control control{id, value};
            if (Ioctl(VIDIOC_S_CTRL, &control) == 0) break;
        }
    }
}

int V4l2Source::AnalogInputCount() const
{
    int count = 0;
    for (std::uint32_t index = 0; index < 64; ++index) {
        v4l2_input input{};
        input.index = index;
        if (Ioctl(VIDIOC_ENUMINPUT, &input) < 0) break;
        ++count;
    }
    // One input is simply the camera: nothing to choose.
    return count > 1 ? count : 0;
}

bool V4l2Source::CanRoute(int input) const
{
    return input >= 0 && input < AnalogInputCount();
}

Result V4l2Source::Route(int input)
{
    int index = input;
    return Ioctl(VIDIOC_S_INPUT, &index) < 0 ? FromErrno() : Result::Ok;
}

} // namespace backend
