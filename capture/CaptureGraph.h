#pragma once
// The live capture engine and the preview window it draws into. It finds the microscope,
// opens it, negotiates the capture format (remembered in CapConfig.dat), connects the two
// frame grabbers, and runs, stops, rebuilds and re-sizes the stream on request. Every
// operation runs on the user-interface thread; failures are results, never messages.

#include "CaptureConfig.h"
#include "Crossbar.h"
#include "DeviceDiscovery.h"
#include "FrameDelivery.h"
#include "Overlays.h"
#include "PreviewSurface.h"

#include <QWidget>

#include <atomic>
#include <memory>

// The current capture size and the recording frame rate that goes with it.
extern std::atomic<int> CaptureWidth;
extern std::atomic<int> CaptureHeight;
extern std::atomic<int> RecordFrameRate;

class CCaptureGraph : public QWidget, public FrameSink {
    Q_OBJECT
public:
    CCaptureGraph(backend::CaptureBackend& backend, QString configPath, QWidget* parent = nullptr);
    ~CCaptureGraph() override;

    // Device discovery.
    void SetNotifyWindows(QObject* notifyWindow, QObject* videoOwner);
    bool CreateDeviceEnumerator();
    bool RefreshDeviceList();
    bool IsDevicePresent();
    void SelectDevice(int row);
    const DeviceTable& GetDeviceTable() const { return devices_.Table(); }
    int DeviceCount() const { return devices_.Count(); }
    const CaptureDeviceList& Devices() const { return devices_; }

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
    backend::Result HandleGraphEvent();
    backend::CaptureSource* QueryVideoProcAmp() const;

    bool IsRunning() const { return running_; }
    bool IsConnected() const { return connected_; }
    bool HasStillPin() const { return hasStillPin_; }
    int CrossbarRouteCount() const { return crossbarRoutes_; }
    const VideoInfoHeader& SavedFormat() const { return savedFormat_; }

    // Drawing.
    int DrawFrame(const std::uint8_t* pixels, std::size_t length, int width, int height) override;
    void CreateDrawingSurface();
    void DeleteDrawingSurface();
    void EnterFullScreen();
    void LeaveFullScreen();
    QImage SurfaceSnapshot() const { return surface_.Snapshot(); }

    OverlaySwitches& Overlays() { return overlays_; }
    OverlayTexts& Texts() { return texts_; }
    void SetOverlayFont(const QFont& font) { overlayFont_ = font; }

    // The back end's source; tests look at what the engine set up.
    backend::CaptureSource* Source() const { return source_.get(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    backend::Result ConnectGrabber(const char* name, bool oneShot, backend::SampleGrabberCallback* callback,
                                   bool previewBranch);
    backend::Result BuildStillBranch();
    backend::Result BuildPreviewBranch();
    void NegotiateFormat();
    void DrawOverlays(QPainter& painter, const QRect& client) const;
    void RequestRepaint();

    backend::CaptureBackend& backend_;
    QString configPath_;
    CaptureDeviceList devices_;
    bool enumeratorCreated_ = false;

    std::unique_ptr<backend::CaptureSource> source_;
    bool graphBuilt_ = false;
    bool hasStreamConfig_ = false;
    bool connected_ = false;
    bool running_ = false;
    bool hasStillPin_ = false;
    std::unique_ptr<CCrossbar> crossbar_;
    int crossbarRoutes_ = 0;
    QObject* notifyWindow_ = nullptr;
    QObject* videoOwner_ = nullptr;
    VideoInfoHeader savedFormat_;

    PreviewSurface surface_;
    OverlaySwitches overlays_;
    OverlayTexts texts_;
    QFont overlayFont_;
    QFont dateTimeFont_;
    std::atomic<bool> repaintPending_{false};
};
