#include "capture/backend/SimulatedSource.h"

#include "capture/backend/FrameConverter.h"
#include "framework/Logging.h"
#include "media/MotionJpeg.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <chrono>
#include <pthread.h>

namespace backend {

SimulatedSource::SimulatedSource(std::shared_ptr<SimulatedDevice> device) : device_(std::move(device)) {}

SimulatedSource::~SimulatedSource()
{
    Stop();
}

std::vector<PinCategory> SimulatedSource::OutputPins() const
{
    if (device_->HasStillPin()) return {PinCategory::Capture, PinCategory::Still};
    return {PinCategory::Capture};
}

Result SimulatedSource::GetFormat(VideoInfoHeader& format) const
{
    if (!device_->IsPlugged()) return Result::DeviceGone;
    format = device_->Format();
    if (device_->SendsMotionJpeg()) format.compression = MakeFourCC('M', 'J', 'P', 'G');
    return Result::Ok;
}

Result SimulatedSource::SetFormat(const VideoInfoHeader& format)
{
    device_->CountSetFormat();
    if (!device_->IsPlugged()) return Result::DeviceGone;
    if (running_) return Result::Failed;
    if (device_->RefusesFormats() || !SimulatedDevice::IsSupportedFormat(format)) return Result::InvalidArgument;
    device_->StoreFormat(format);
    return Result::Ok;
}

Result SimulatedSource::ConnectGrabber(int pin, SampleGrabberCallback* callback)
{
    const int pinCount = static_cast<int>(OutputPins().size());
    if (pin < 0 || pin >= pinCount || running_) return Result::CannotConnect;
    if (grabbers_[pin]) return Result::AlreadyConnected;
    grabbers_[pin] = callback;
    return Result::Ok;
}

void SimulatedSource::DisconnectAll()
{
    grabbers_[0] = grabbers_[1] = nullptr;
}

int SimulatedSource::ConnectedGrabberCount() const
{
    return (grabbers_[0] ? 1 : 0) + (grabbers_[1] ? 1 : 0);
}

Result SimulatedSource::Run()
{
    if (running_) return Result::Ok;
    if (!device_->IsPlugged()) return Result::DeviceGone;
    {
        std::lock_guard lock(stopMutex_);
        stopRequested_ = false;
    }
    running_ = true;
    thread_ = std::thread([this] { StreamLoop(); });
    return Result::Ok;
}

Result SimulatedSource::Stop()
{
    {
        std::lock_guard lock(stopMutex_);
        stopRequested_ = true;
    }
    stopSignal_.notify_all();
    if (thread_.joinable()) thread_.join(); // every callback has returned after this
    running_ = false;
    return Result::Ok;
}

Result SimulatedSource::GetRange(int property, PropertyRange& range) const
{
    range = device_->Range(property);
    return range.maximum > range.minimum ? Result::Ok : Result::NotFound;
}

Result SimulatedSource::Get(int property, int& value, int& flags) const
{
    return device_->GetProperty(property, value, flags) ? Result::Ok : Result::NotFound;
}

Result SimulatedSource::Set(int property, int value, int flags)
{
    if (running_ && device_->BusyWhileStreaming()) return Result::Busy;
    return device_->SetProperty(property, value, flags) ? Result::Ok : Result::InvalidArgument;
}

void SimulatedSource::UseCameraAutomatics()
{
    device_->SetAutomaticsOn(true);
}

int SimulatedSource::AnalogInputCount() const
{
    return device_->InputCount();
}

bool SimulatedSource::CanRoute(int input) const
{
    return input >= 0 && input < device_->InputCount();
}

void SimulatedSource::StreamLoop()
{
    pthread_setname_np(pthread_self(), "qrv-sim-camera");
    const VideoInfoHeader format = device_->Format();
    SlideRenderer renderer;
    renderer.Prepare(format.width, std::abs(format.height), device_->CurrentSlide());
    std::vector<std::uint8_t> frame(renderer.FrameBytes());
    // A Motion JPEG camera: every frame is encoded as the camera would and decoded on the
    // way in by the same converter as a V4L2 camera's frames.
    std::unique_ptr<FrameConverter> converter = device_->SendsMotionJpeg() ? FrameConverter::WithoutNode() : nullptr;
    if (converter) {
        v4l2_format sent{};
        sent.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        sent.fmt.pix.width = static_cast<std::uint32_t>(renderer.Width());
        sent.fmt.pix.height = static_cast<std::uint32_t>(renderer.Height());
        sent.fmt.pix.pixelformat = V4L2_PIX_FMT_MJPEG;
        sent.fmt.pix.field = V4L2_FIELD_NONE;
        sent.fmt.pix.sizeimage = static_cast<std::uint32_t>(renderer.FrameBytes());
        converter->SetSourceFormat(sent);
    }
    std::vector<std::uint8_t> encoded;

    using Clock = std::chrono::steady_clock;
    const auto interval =
        std::chrono::microseconds(std::clamp<std::int64_t>(format.averageTimePerFrame / 10, 1'000'000 / 60, 1'000'000));
    const auto start = Clock::now();
    auto due = start;

    for (;;) {
        {
            std::unique_lock lock(stopMutex_);
            if (stopSignal_.wait_until(lock, due, [this] { return stopRequested_; })) return;
        }
        if (!device_->IsPlugged()) {
            // The camera went away mid-stream: no more samples, the graph reports it.
            if (eventSink_) eventSink_(StreamEvent::DeviceLost);
            std::unique_lock lock(stopMutex_);
            stopSignal_.wait(lock, [this] { return stopRequested_; });
            return;
        }
        const double seconds = std::chrono::duration<double>(due - start).count();
        const std::vector<std::uint8_t> tone = device_->ToneTable();
        SimulatedOptics optics = device_->Optics();
        if (device_->SweepsFocus()) optics.focus = SimulatedDevice::SweptFocus(seconds);
        if (device_->FollowsStagePath())
            optics.stage = SimulatedDevice::StagePathAt(seconds, renderer.Width(), renderer.Height());
        renderer.RenderFrame(seconds, frame.data(), tone.empty() ? nullptr : tone.data(), optics);
        due += interval;
        if (const auto now = Clock::now(); due < now) due = now; // never try to catch up with a burst of frames

        const std::uint8_t* delivered = frame.data();
        std::size_t deliveredBytes = frame.size();
        if (converter) {
            std::vector<std::uint8_t> made;
            if (!EncodeJpeg(frame.data(), renderer.Width(), renderer.Height(),
                            SlideRenderer::StrideOf(renderer.Width()), kMotionJpegQuality, made))
                continue;
            encoded = WithoutHuffmanTables(made.data(), made.size());
            if (!converter->Convert(encoded.data(), encoded.size())) continue; // as a camera's damaged frame
            delivered = converter->Frame().data();
            deliveredBytes = converter->Frame().size();
        }

        // A button press goes out on the still output first, then the frame on the capture
        // output, after its Motion JPEG bytes.
        if (device_->TakeStillPress() && grabbers_[1]) grabbers_[1]->BufferCB(seconds, delivered, deliveredBytes);
        if (grabbers_[0]) {
            if (converter) grabbers_[0]->CompressedCB(seconds, encoded.data(), encoded.size());
            if (device_->FocusByMotor() && !device_->SweepsFocus())
                grabbers_[0]->FocusPositionCB(seconds, optics.focus);
            grabbers_[0]->BufferCB(seconds, delivered, deliveredBytes);
        }
    }
}

} // namespace backend
