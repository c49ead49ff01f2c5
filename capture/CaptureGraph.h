#pragma once
// The live capture engine and the preview window it draws into. It finds the microscope,
// opens it, negotiates the capture format (remembered in CapConfig.dat), connects the frame
// grabber and the still button, and runs, stops, rebuilds and re-sizes the stream on
// request. Every operation runs on the user-interface thread; failures are results, never
// messages. What the streaming thread has to say (a frame is ready, a still picture is due,
// the stream is lost) reaches this window through its hand-offs and leaves it as signals.

#include "capture/CaptureConfig.h"
#include "capture/Crossbar.h"
#include "capture/DeviceDiscovery.h"
#include "capture/DeviceSettingsMemory.h"
#include "capture/FrameDelivery.h"
#include "capture/Overlays.h"
#include "capture/PreviewSurface.h"
#include "framework/HandOff.h"

#include <QWidget>

#include <map>
#include <memory>

class CCaptureGraph : public QWidget, public RecordingSource {
    Q_OBJECT
public:
    CCaptureGraph(backend::CaptureBackend& backend, QString configPath, QWidget* parent = nullptr);
    ~CCaptureGraph() override;

    // Device discovery.
    bool RefreshDeviceList();
    bool IsDevicePresent();
    void SelectDevice(int row);
    // True when SelectDevice(row) would change the device (a listed one other than the current).
    bool WouldSwitchTo(int row) const;
    const DeviceTable& GetDeviceTable() const { return devices_.Table(); }
    int DeviceCount() const { return devices_.Count(); }
    const CaptureDeviceList& Devices() const { return devices_; }
    // Why the last BuildGraph could not open the camera (Ok when it could, or found none).
    const backend::CaptureBackend::OpenFailure& LastOpenFailure() const { return lastOpenFailure_; }

    // The capture stream.
    bool BuildGraph();
    bool ConnectPreview();
    bool StartPreview();
    bool StopPreview();
    int RestartPreview();
    void TearDownDownstream();
    void ReleaseAll();
    backend::Result SetResolution(int width, int height);
    void SetPreviewFrameRate(int framesPerSecond);
    backend::CaptureSource* QueryVideoProcAmp() const;

    // The camera's picture properties as the user sets them: sent at once and remembered for
    // this microscope. A camera that is busy streaming gets the value again when its stream
    // next starts.
    backend::Result SetVideoProperty(int property, int value, int flags);
    void UseCameraAutomatics();
    // Where each microscope's properties and capture size are remembered; none: nothing is.
    void SetDeviceMemory(DeviceSettingsMemory* memory) { memory_ = memory; }
    bool SaveDeviceSettings();
    // The current microscope's stable name, empty when there is none.
    std::string CurrentIdentity() const;
    // Width of the last frame delivered, 0 before any.
    int LastFrameWidth() const;

    bool IsRunning() const { return running_; }
    bool IsConnected() const { return connected_; }
    bool HasStillPin() const { return hasStillPin_; }
    int CrossbarRouteCount() const { return crossbarRoutes_; }
    const VideoInfoHeader& SavedFormat() const { return savedFormat_; }
    // The size frames are captured at, and the recording rate that goes with it.
    QSize CaptureSize() const override { return captureSize_; }
    bool DeliversMotionJpeg() const override;
    std::int64_t CameraFrameInterval() const override;
    int RecordFrameRate() const { return recordFrameRate_; }

    // A recording's intake of every frame; see CFrameCallback::SetRecordingTap.
    void SetRecordingTap(CFrameCallback::RecordingTap tap) override { frameCallback_.SetRecordingTap(std::move(tap)); }
    // Drawn over the picture after the overlays (focus peaking); the painter and the
    // picture's area in the window. Window thread.
    void SetExtraOverlay(std::function<void(QPainter&, const QRect&)> overlay) { extraOverlay_ = std::move(overlay); }
    // The processing steps every frame passes before it is shown, saved or recorded.
    void SetProcessingSteps(std::vector<std::shared_ptr<FrameStep>> steps)
    {
        frameCallback_.SetSteps(std::move(steps));
    }
    std::uint64_t FramesDroppedByProcessing() const { return frameCallback_.FramesDroppedByTheStage(); }

    // Stills: any thread may ask; the engine signals StillDue when the frame to save is held.
    StillTrigger& Stills() { return stills_; }
    const HeldFrame& CurrentFrame() const { return heldFrame_; }

    // Drawing.
    void CreateDrawingSurface();
    void DeleteDrawingSurface();
    void EnterFullScreen();
    void LeaveFullScreen();
    QImage SurfaceSnapshot() const { return surface_.Snapshot(); }

    // Overlays and texts are drawn once per frame; changing them redraws the held frame.
    const OverlaySwitches& Overlays() const { return overlays_; }
    void SetOverlays(const OverlaySwitches& overlays);
    const OverlayTexts& Texts() const { return texts_; }
    void SetConnectMessage(const QString& text);
    void SetFullScreenHint(const QString& text);
    void SetFullScreen(bool fullScreen);
    void SetOverlayFont(const QFont& font) { overlayFont_ = font; }
    // The scale of the scale bar overlay: millimetres per pixel of a 1280-pixel-wide frame
    // (0: no calibration, no bar), in micrometres or millimetres.
    void SetScaleBarScale(double millimetresPer1280Pixel, bool micrometres);

    // The grabbers the engine connects; tests look at the wiring.
    const backend::SampleGrabberCallback* FrameGrabber() const { return &frameCallback_; }
    const backend::SampleGrabberCallback* StillButtonGrabber() const { return &stillCallback_; }
    // The back end's source; tests look at what the engine set up.
    backend::CaptureSource* Source() const { return source_.get(); }

signals:
    // The stream runs, at this size, from the current device (a new device, a new size, or
    // the same again).
    void StreamStarted(QSize size);
    // A new frame is held and shown (window thread; the newest of those that came).
    void FrameShown();
    // A still picture is due: the held frame is the one to save.
    void StillDue(StillSource source);
    // The running stream ended by itself (the camera went away, or stopped delivering and a
    // restart did not help). The engine has stopped it.
    void StreamLost(backend::StreamEvent event);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    backend::Result ConnectGrabber(backend::SampleGrabberCallback* callback);
    backend::Result ConnectFrameGrabber();
    backend::Result ConnectStillButton();
    void NegotiateFormat();
    void ReadDeliveredSize();
    backend::Result StoreCaptureSize(int width, int height);
    void TakeRememberedSettings();
    void ApplyPendingProperties();
    void ComposeHeldFrame();
    void DrawOverlays(QPainter& painter, const QRect& client) const;
    void TakeStreamEvents();

    backend::CaptureBackend& backend_;
    QString configPath_;
    CaptureDeviceList devices_;
    backend::CaptureBackend::OpenFailure lastOpenFailure_{backend::Result::Ok, {}};

    std::unique_ptr<backend::CaptureSource> source_;
    bool graphBuilt_ = false;
    bool hasStreamConfig_ = false;
    bool connected_ = false;
    bool running_ = false;
    bool hasStillPin_ = false;
    std::unique_ptr<CCrossbar> crossbar_;
    int crossbarRoutes_ = 0;
    VideoInfoHeader savedFormat_;
    QSize captureSize_{1280, 1024};
    int recordFrameRate_ = 0;
    DeviceSettingsMemory* memory_ = nullptr;
    // Property values for the camera at the next start of its stream (remembered ones of a
    // camera just opened, and values it was too busy to take).
    std::map<int, RememberedProperty> pendingProperties_;

    // From the streaming thread: a frame is ready (the newest wins), a still is due, the
    // stream's events.
    struct FrameReady {};
    HandOff<FrameReady> frames_{this, 1};
    HandOff<StillSource> stillsDue_{this, 4};
    HandOff<backend::StreamEvent> streamEvents_{this, 8};
    std::function<void(QPainter&, const QRect&)> extraOverlay_;
    HeldFrame heldFrame_;
    StillTrigger stills_;
    CFrameCallback frameCallback_;
    CStillTriggerCallback stillCallback_;

    PreviewSurface surface_;
    OverlaySwitches overlays_;
    OverlayTexts texts_;
    QFont overlayFont_;
    double scaleBarMillimetres_ = 0;
    bool scaleBarMicrometres_ = false;
    QFont dateTimeFont_;
};

Q_DECLARE_METATYPE(StillSource)
Q_DECLARE_METATYPE(backend::StreamEvent)
