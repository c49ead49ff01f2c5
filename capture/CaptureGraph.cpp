#include "CaptureGraph.h"

#include "AppMessages.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPointer>

#include <algorithm>

using namespace backend;

std::atomic<int> CaptureWidth{1280};
std::atomic<int> CaptureHeight{1024};
std::atomic<int> RecordFrameRate{0};

namespace {
constexpr int kMaxOutputPinsTried = 4;
}

CCaptureGraph::CCaptureGraph(CaptureBackend& backend, QString configPath, QWidget* parent)
    : QWidget(parent), backend_(backend), configPath_(std::move(configPath)), overlayFont_(MakeFixedFont(20, 20)),
      dateTimeFont_(SystemFont())
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    FrameCallback().sink = this;
}

CCaptureGraph::~CCaptureGraph()
{
    StopPreview();
    TearDownDownstream();
    ReleaseAll();
    FrameSink* self = this;
    FrameCallback().sink.compare_exchange_strong(self, nullptr);
}

// ---- devices -----------------------------------------------------------------------------

void CCaptureGraph::SetNotifyWindows(QObject* notifyWindow, QObject* videoOwner)
{
    notifyWindow_ = notifyWindow;
    videoOwner_ = videoOwner;
    devices_.ResetCount();
}

bool CCaptureGraph::CreateDeviceEnumerator()
{
    enumeratorCreated_ = true;
    return true;
}

bool CCaptureGraph::RefreshDeviceList()
{
    return enumeratorCreated_ && devices_.Refresh(backend_);
}

bool CCaptureGraph::IsDevicePresent()
{
    return devices_.IsDevicePresent(backend_);
}

void CCaptureGraph::SelectDevice(int row)
{
    if (row < 0 || row >= kDeviceTableRows) return;
    const auto& target = devices_.Table()[static_cast<std::size_t>(row)];
    const CaptureDevice* current = devices_.Current();
    if (!target.moniker || (current && current->moniker == target.moniker)) return;
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
    if (const CaptureDevice* device = devices_.Current(); device && device->moniker)
        source_ = backend_.OpenSource(*device->moniker);
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
    // The size the camera really delivers is what the program shows and records.
    VideoInfoHeader actual;
    if (Succeeded(source_->GetFormat(actual)) && actual.width > 0 && actual.height != 0) {
        CaptureWidth = actual.width;
        CaptureHeight = std::abs(actual.height);
    }
}

bool CCaptureGraph::ConnectPreview()
{
    if (connected_) return true;
    if (running_) return false;
    if (!source_) return false;
    NegotiateFormat();
    if (hasStillPin_ && BuildStillBranch() != kOk) return false;
    if (BuildPreviewBranch() != kOk) return false;
    connected_ = true;
    return true;
}

Result CCaptureGraph::ConnectGrabber(const char* name, bool oneShot, SampleGrabberCallback* callback,
                                     bool previewBranch)
{
    if (!source_ || !graphBuilt_) return -1;
    if (previewBranch) {
        VideoInfoHeader format;
        if (Succeeded(source_->GetFormat(format))) {
            FrameCallback().width = format.width;
            FrameCallback().height = std::abs(format.height);
            FrameCallback().videoOwner = videoOwner_;
            FrameCallback().notifyWindow = notifyWindow_;
        }
    }
    const int pinCount = static_cast<int>(source_->OutputPins().size());
    Result result = kCannotConnect;
    for (int pin = 0; pin < kMaxOutputPinsTried; ++pin) {
        if (pin >= pinCount) {
            result = kNotFound;
            continue;
        }
        result = source_->ConnectGrabber(pin, name, oneShot, callback);
        if (Succeeded(result)) return kOk;
    }
    return result;
}

Result CCaptureGraph::BuildStillBranch()
{
    if (!hasStillPin_) return kNotFound;
    if (const Result r = ConnectGrabber("StillGrabber", true, &FrameCallback(), false); r != kOk) return r;
    // Graph events arrive at the main window as WM_CAPTURE_EVENT.
    QPointer<QObject> notify(notifyWindow_);
    source_->SetEventNotify([notify] {
        if (notify) PostAppMessage(notify.data(), WM_CAPTURE_EVENT);
    });
    return kOk;
}

Result CCaptureGraph::BuildPreviewBranch()
{
    if (running_) return 1;
    return ConnectGrabber("SampleGrabber", false, &StillTriggerCallback(), true);
}

bool CCaptureGraph::StartPreview()
{
    if (running_) return true;
    if (!connected_ || !source_) return false;
    if (Failed(source_->Run())) {
        // A camera that refuses to stream (it went away meanwhile) is reported, so the
        // main window shows its request to connect the microscope.
        source_->Stop();
        return false;
    }
    running_ = true;
    return true;
}

bool CCaptureGraph::StopPreview()
{
    running_ = false;
    if (!graphBuilt_ || !source_) return true;
    return Succeeded(source_->Stop()); // every callback has returned after this
}

int CCaptureGraph::RestartPreview()
{
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
        source_->SetEventNotify(nullptr);
    }
    source_.reset();
    graphBuilt_ = false;
    hasStreamConfig_ = false;
    crossbar_.reset();
    FrameBuffer().Free();
}

Result CCaptureGraph::SetResolution(int width, int height)
{
    CaptureWidth = width;
    CaptureHeight = height;
    RecordFrameRate = width == 320 ? 15 : width == 640 ? 14 : 5;
    if (!hasStreamConfig_ || !source_) return kOk;

    const bool wasRunning = running_;
    StopPreview();
    TearDownDownstream();
    VideoInfoHeader format;
    const Result result = source_->GetFormat(format);
    if (Succeeded(result)) {
        savedFormat_ = format;
        savedFormat_.width = width;
        savedFormat_.height = height;
        savedFormat_.imageSize = ImageSizeFor(width, height, savedFormat_.bitCount);
        savedFormat_.bitRate = FramesPerSecond(savedFormat_.averageTimePerFrame) * savedFormat_.imageSize * 8u;
        WriteCaptureConfig(configPath_, savedFormat_);
        source_->SetFormat(savedFormat_); // a refusal is settled by the negotiation below
    }
    ConnectPreview();
    if (wasRunning) StartPreview();
    return result;
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

Result CCaptureGraph::HandleGraphEvent()
{
    long code = 0, param1 = 0, param2 = 0;
    if (!source_) return kFail;
    return source_->GetEvent(code, param1, param2) ? kOk : kFalse;
}

CaptureSource* CCaptureGraph::QueryVideoProcAmp() const
{
    return source_ && source_->HasVideoProcAmp() ? source_.get() : nullptr;
}

// ---- drawing -----------------------------------------------------------------------------

void CCaptureGraph::DrawOverlays(QPainter& painter, const QRect& client) const
{
    DrawDateTime(painter, client, overlays_, QDateTime::currentDateTime(), dateTimeFont_);
    DrawCrossLine(painter, client, overlays_);
    DrawCoordinates(painter, client, overlays_);
    DrawCircles(painter, client, overlays_);
}

int CCaptureGraph::DrawFrame(const std::uint8_t* pixels, std::size_t length, int width, int height)
{
    if (!pixels) return 0;
    const bool anyOverlay = overlays_.dateTime || overlays_.crossLine || overlays_.coordinates || overlays_.circles;
    PreviewSurface::OverlayPainter overlays;
    if (anyOverlay) overlays = [this](QPainter& p, const QRect& r) { DrawOverlays(p, r); };
    if (surface_.Compose(pixels, length, width, height, overlays) || !surface_.Exists()) RequestRepaint();
    return 1;
}

void CCaptureGraph::RequestRepaint()
{
    // One pending repaint at a time, however fast frames come.
    if (repaintPending_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            repaintPending_ = false;
            update();
        },
        Qt::QueuedConnection);
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
    DrawOverlays(painter, client);
}

bool CCaptureGraph::event(QEvent* event)
{
    if (event->type() == QEvent::Close) DeleteDrawingSurface();
    return QWidget::event(event);
}
