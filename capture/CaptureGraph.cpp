#include "capture/CaptureGraph.h"

#include "framework/Logging.h"
#include "widgets/ScaleBar.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <utility>

using namespace backend;

namespace {
constexpr int kMaxOutputPinsTried = 4;
}

CCaptureGraph::CCaptureGraph(CaptureBackend& backend, QString configPath, QWidget* parent)
    : QWidget(parent), backend_(backend), configPath_(std::move(configPath)),
      frameCallback_(
          heldFrame_, stills_, [this] { frames_.Post(FrameReady{}); },
          [this](StillSource source) { stillsDue_.Post(source); }),
      stillCallback_(stills_), overlayFont_(MakeFixedFont(20, 20)), dateTimeFont_(SystemFont())
{
    qRegisterMetaType<StillSource>();
    qRegisterMetaType<backend::StreamEvent>();
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

CCaptureGraph::~CCaptureGraph()
{
    // The streaming thread ends here, before the hand-offs it posts to.
    StopPreview();
    TearDownDownstream();
    ReleaseAll();
}

// ---- devices -----------------------------------------------------------------------------

bool CCaptureGraph::RefreshDeviceList()
{
    return devices_.Refresh(backend_);
}

bool CCaptureGraph::IsDevicePresent()
{
    return devices_.IsDevicePresent(backend_);
}

bool CCaptureGraph::WouldSwitchTo(int row) const
{
    if (row < 0 || row >= kDeviceTableRows) return false;
    const auto& target = devices_.Table()[static_cast<std::size_t>(row)];
    const CaptureDevice* current = devices_.Current();
    return target.moniker && !(current && current->moniker == target.moniker);
}

void CCaptureGraph::SelectDevice(int row)
{
    if (!WouldSwitchTo(row)) return;
    StopPreview();
    TearDownDownstream();
    ReleaseAll();
    devices_.Select(row);
    BuildGraph();
    ConnectPreview();
    StartPreview();
}

// ---- the stream --------------------------------------------------------------------------

bool CCaptureGraph::BuildGraph()
{
    graphBuilt_ = true;
    source_.reset();
    lastOpenFailure_ = {Result::Ok, {}};
    if (const CaptureDevice* device = devices_.Current(); device && device->moniker)
        source_ = backend_.OpenSource(*device->moniker, &lastOpenFailure_);
    if (!source_) {
        ReleaseAll();
        return false;
    }
    hasStreamConfig_ = source_->HasStreamConfig();
    if (hasStreamConfig_) {
        VideoInfoHeader probe;
        source_->GetFormat(probe);
    }
    if (source_->AnalogInputCount() > 0) {
        crossbar_ = std::make_unique<CCrossbar>(*source_);
        crossbarRoutes_ = crossbar_->CountRoutes();
    }
    const auto pins = source_->OutputPins();
    hasStillPin_ = std::find(pins.begin(), pins.end(), PinCategory::Still) != pins.end();
    return true;
}

void CCaptureGraph::NegotiateFormat()
{
    VideoInfoHeader format;
    if (!hasStreamConfig_ || Failed(source_->GetFormat(format))) return;
    savedFormat_ = format;

    auto applyDefaults = [this](VideoInfoHeader& block) {
        ApplyDefaultFormat(block, savedFormat_);
        savedFormat_ = block;
    };
    VideoInfoHeader stored;
    // A stored record with an absurd size or bit count is never handed to the camera.
    if (ReadCaptureConfig(configPath_, stored) && IsPlausibleFormat(stored)) {
        savedFormat_ = stored;
        format = stored;
    } else {
        applyDefaults(format);
    }
    if (Failed(source_->SetFormat(format))) {
        applyDefaults(format);
        source_->SetFormat(format); // a second refusal leaves the camera's own format
    }
    ReadDeliveredSize();
}

// The size the camera really delivers is what the program shows and records.
void CCaptureGraph::ReadDeliveredSize()
{
    VideoInfoHeader actual;
    if (Succeeded(source_->GetFormat(actual)) && actual.width > 0 && actual.height != 0)
        captureSize_ = QSize(actual.width, std::abs(actual.height));
}

// A microscope the user has set up before gets its capture size back at once and its
// picture properties when its stream starts.
void CCaptureGraph::TakeRememberedSettings()
{
    const RememberedSettings* remembered = memory_ ? memory_->Find(CurrentIdentity()) : nullptr;
    if (!remembered) return;
    for (const auto& [property, entry] : remembered->properties) pendingProperties_[property] = entry;
    const QSize size = remembered->captureSize;
    if (size.isValid() && size != captureSize_ && hasStreamConfig_) {
        StoreCaptureSize(size.width(), size.height());
        ReadDeliveredSize();
    }
}

void CCaptureGraph::ApplyPendingProperties()
{
    if (!source_ || !source_->HasVideoProcAmp()) return;
    for (const auto& [property, entry] : std::exchange(pendingProperties_, {})) {
        // A value from the file is kept within what this camera takes.
        PropertyRange range;
        if (Failed(source_->GetRange(property, range))) continue;
        source_->Set(property, std::clamp(entry.value, range.minimum, std::max(range.minimum, range.maximum)),
                     entry.flags);
    }
}

bool CCaptureGraph::ConnectPreview()
{
    if (connected_) return true;
    if (running_) return false;
    if (!source_) return false;
    NegotiateFormat();
    TakeRememberedSettings();
    if (ConnectFrameGrabber() != Result::Ok) return false;
    if (hasStillPin_ && ConnectStillButton() != Result::Ok) return false;
    connected_ = true;
    return true;
}

Result CCaptureGraph::ConnectGrabber(SampleGrabberCallback* callback)
{
    if (!source_ || !graphBuilt_) return Result::Failed;
    const int pinCount = static_cast<int>(source_->OutputPins().size());
    Result result = Result::CannotConnect;
    for (int pin = 0; pin < kMaxOutputPinsTried; ++pin) {
        if (pin >= pinCount) {
            result = Result::NotFound;
            continue;
        }
        result = source_->ConnectGrabber(pin, callback);
        if (Succeeded(result)) return Result::Ok;
    }
    return result;
}

// Every frame of the capture output goes to the frame callback; it takes the first output
// that accepts it, which is the capture output.
Result CCaptureGraph::ConnectFrameGrabber()
{
    VideoInfoHeader format;
    if (Succeeded(source_->GetFormat(format))) frameCallback_.SetFrameSize(format.width, std::abs(format.height));
    if (const Result r = ConnectGrabber(&frameCallback_); r != Result::Ok) return r;
    // The stream's events come back through the hand-off; the source calls this only while
    // it streams, and this window outlives every stream.
    source_->SetEventSink([this](StreamEvent event) { streamEvents_.Post(event); });
    return Result::Ok;
}

// The still output delivers a frame only when the camera's button is pressed.
Result CCaptureGraph::ConnectStillButton()
{
    return ConnectGrabber(&stillCallback_);
}

bool CCaptureGraph::StartPreview()
{
    if (running_) return true;
    if (!connected_ || !source_) return false;
    ApplyPendingProperties();
    if (const Result r = source_->Run(); Failed(r)) {
        // A camera that refuses to stream (it went away meanwhile) is reported, so the
        // main window shows its request to connect the microscope.
        qCWarning(lcCapture) << "the camera did not start streaming:" << static_cast<int>(r);
        source_->Stop();
        return false;
    }
    running_ = true;
    emit StreamStarted(captureSize_);
    return true;
}

bool CCaptureGraph::StopPreview()
{
    running_ = false;
    if (!graphBuilt_ || !source_) return true;
    const bool stopped = Succeeded(source_->Stop()); // every callback has returned after this
    frameCallback_.Flush();                          // and the processing stage has handed on what it had
    // What the stopped stream still had on its way is of no use any more.
    streamEvents_.Clear();
    return stopped;
}

int CCaptureGraph::RestartPreview()
{
    // The still button re-arms itself, so a healthy stream is left running; a stream that
    // stopped is started again.
    if (running_ && source_ && source_->IsRunning()) return 0;
    StopPreview();
    ConnectPreview();
    StartPreview();
    return 0;
}

void CCaptureGraph::TearDownDownstream()
{
    if (source_) source_->DisconnectAll();
    connected_ = false;
}

void CCaptureGraph::ReleaseAll()
{
    DeleteDrawingSurface();
    if (source_) {
        source_->Stop(); // no callback may outlive the source
        source_->SetEventSink(nullptr);
    }
    source_.reset();
    graphBuilt_ = false;
    hasStreamConfig_ = false;
    crossbar_.reset();
    crossbarRoutes_ = 0;
    pendingProperties_.clear();
    frames_.Clear();
    streamEvents_.Clear();
    // A still request still pending is announced again by the next stream's first frame.
    stillsDue_.Clear();
    stills_.Rearm();
    heldFrame_.Free();
}

Result CCaptureGraph::SetResolution(int width, int height)
{
    captureSize_ = QSize(width, height);
    recordFrameRate_ = width == 320 ? 15 : width == 640 ? 14 : 5;
    if (memory_) {
        memory_->RememberCaptureSize(CurrentIdentity(), captureSize_);
        memory_->Save();
    }
    if (!hasStreamConfig_ || !source_) return Result::Ok;

    const bool wasRunning = running_;
    StopPreview();
    TearDownDownstream();
    const Result result = StoreCaptureSize(width, height);
    ConnectPreview();
    if (wasRunning) StartPreview();
    return result;
}

// Writes the size into CapConfig.dat and asks the stopped camera for it; a refusal is
// settled by the next negotiation.
Result CCaptureGraph::StoreCaptureSize(int width, int height)
{
    VideoInfoHeader format;
    const Result result = source_->GetFormat(format);
    if (Failed(result)) return result;
    savedFormat_ = format;
    savedFormat_.width = width;
    savedFormat_.height = height;
    savedFormat_.imageSize = ImageSizeFor(width, height, savedFormat_.bitCount);
    savedFormat_.bitRate = FramesPerSecond(savedFormat_.averageTimePerFrame) * savedFormat_.imageSize * 8u;
    WriteCaptureConfig(configPath_, savedFormat_);
    source_->SetFormat(savedFormat_);
    return result;
}

bool CCaptureGraph::DeliversMotionJpeg() const
{
    VideoInfoHeader format;
    return source_ && hasStreamConfig_ && Succeeded(source_->GetFormat(format)) &&
           format.compression == MakeFourCC('M', 'J', 'P', 'G');
}

std::int64_t CCaptureGraph::CameraFrameInterval() const
{
    VideoInfoHeader format;
    if (!source_ || !hasStreamConfig_ || Failed(source_->GetFormat(format))) return 0;
    return std::max<std::int64_t>(format.averageTimePerFrame, 0);
}

void CCaptureGraph::SetPreviewFrameRate(int framesPerSecond)
{
    VideoInfoHeader format;
    if (framesPerSecond <= 0 || !hasStreamConfig_ || !source_ || Failed(source_->GetFormat(format))) return;
    format.bitRate = static_cast<std::uint32_t>(framesPerSecond) * format.imageSize * 8u;
    format.averageTimePerFrame = 10000000 / framesPerSecond;
    // The grabber takes the frames as the camera sends them; the rate only reaches the
    // camera when it is stopped, as with the platform's grabbers.
    if (!running_) source_->SetFormat(format);
}

CaptureSource* CCaptureGraph::QueryVideoProcAmp() const
{
    return source_ && source_->HasVideoProcAmp() ? source_.get() : nullptr;
}

Result CCaptureGraph::SetVideoProperty(int property, int value, int flags)
{
    CaptureSource* amplifier = QueryVideoProcAmp();
    if (!amplifier) return Result::NotFound;
    const Result result = amplifier->Set(property, value, flags);
    if (result == Result::Busy) pendingProperties_[property] = {value, flags};
    if (Succeeded(result) || result == Result::Busy) {
        if (memory_) memory_->RememberProperty(CurrentIdentity(), property, value, flags);
    }
    return result;
}

void CCaptureGraph::UseCameraAutomatics()
{
    if (CaptureSource* amplifier = QueryVideoProcAmp()) amplifier->UseCameraAutomatics();
}

bool CCaptureGraph::SaveDeviceSettings()
{
    return !memory_ || memory_->Save();
}

std::string CCaptureGraph::CurrentIdentity() const
{
    const CaptureDevice* device = devices_.Current();
    return device ? device->identity : std::string();
}

int CCaptureGraph::LastFrameWidth() const
{
    return heldFrame_.With([](const Frame& frame) { return frame.width; });
}

void CCaptureGraph::TakeStreamEvents()
{
    for (const StreamEvent event : streamEvents_.TakeAll()) {
        if (!running_) continue; // stopped meanwhile: the event is old news
        qCWarning(lcCapture) << (event == StreamEvent::DeviceLost ? "the camera went away"
                                                                  : "the camera stopped delivering frames");
        StopPreview();
        emit StreamLost(event);
    }
}

// ---- drawing -----------------------------------------------------------------------------

void CCaptureGraph::DrawOverlays(QPainter& painter, const QRect& client) const
{
    DrawDateTime(painter, client, overlays_, QDateTime::currentDateTime(), dateTimeFont_);
    DrawCrossLine(painter, client, overlays_);
    DrawCoordinates(painter, client, overlays_);
    DrawCircles(painter, client, overlays_);
    // `client` is the picture's area in the window: a window pixel spans 1280 / width frame
    // pixels of a 1280-wide frame, whatever the capture size.
    if (overlays_.scaleBar && scaleBarMillimetres_ > 0 && client.width() > 0) {
        if (const auto bar =
                ChooseScaleBar(scaleBarMillimetres_ * 1280 / client.width(), client.width(), scaleBarMicrometres_))
            DrawScaleBar(painter, client, ScaleBarCorner::BottomRight, *bar);
    }
}

void CCaptureGraph::SetScaleBarScale(double millimetresPer1280Pixel, bool micrometres)
{
    scaleBarMillimetres_ = millimetresPer1280Pixel;
    scaleBarMicrometres_ = micrometres;
    ComposeHeldFrame();
}

void CCaptureGraph::ComposeHeldFrame()
{
    if (!surface_.Exists() || surface_.Size() != size()) CreateDrawingSurface();
    const bool composed = heldFrame_.With([this](const Frame& frame) { return surface_.Compose(frame); });
    if (composed && (overlays_.Any() || extraOverlay_))
        surface_.DrawOverlays([this](QPainter& p, const QRect& r) {
            DrawOverlays(p, r);
            if (extraOverlay_) extraOverlay_(p, r);
        });
    update();
}

void CCaptureGraph::SetOverlays(const OverlaySwitches& overlays)
{
    overlays_ = overlays;
    ComposeHeldFrame();
}

void CCaptureGraph::SetConnectMessage(const QString& text)
{
    texts_.connectMessage = text;
    update();
}

void CCaptureGraph::SetFullScreenHint(const QString& text)
{
    texts_.fullScreenHint = text;
    update();
}

void CCaptureGraph::SetFullScreen(bool fullScreen)
{
    texts_.fullScreen = fullScreen;
    update();
}

void CCaptureGraph::CreateDrawingSurface()
{
    surface_.Create(size());
}

void CCaptureGraph::DeleteDrawingSurface()
{
    surface_.Delete();
}

void CCaptureGraph::EnterFullScreen()
{
    CreateDrawingSurface();
}

void CCaptureGraph::LeaveFullScreen()
{
    CreateDrawingSurface();
    surface_.Clear();
    update();
}

void CCaptureGraph::paintEvent(QPaintEvent*)
{
    if (!surface_.Exists() || surface_.Size() != size()) CreateDrawingSurface();
    QPainter painter(this);
    surface_.PaintTo(painter);
    const QRect client = rect();
    DrawConnectMessage(painter, client, texts_, overlayFont_);
    DrawFullScreenHint(painter, client, texts_, overlayFont_);
}

bool CCaptureGraph::event(QEvent* event)
{
    if (frames_.IsFor(event)) {
        if (frames_.TakeNewest()) {
            ComposeHeldFrame();
            emit FrameShown();
        }
        return true;
    }
    if (stillsDue_.IsFor(event)) {
        for (const StillSource source : stillsDue_.TakeAll()) emit StillDue(source);
        return true;
    }
    if (streamEvents_.IsFor(event)) {
        TakeStreamEvents();
        return true;
    }
    if (event->type() == QEvent::Close) DeleteDrawingSurface();
    return QWidget::event(event);
}
