#pragma once
// Setting → Share live picture... and `--share`: the sharing of the live picture with the
// browsers of the room, and Setting → Stream to a server...: both fed from the window's
// frames, and their dialogs.

#include "app/sharing/ShareControl.h"

#include "app/sharing/ShareDlg.h"
#include "app/sharing/StreamControl.h"
#include "app/sharing/StreamDlg.h"

#include <QPointer>

class CCaptureGraph;
class QWidget;
struct MediaFolders;

// What sharing needs of the window.
class SharingCommandHost {
public:
    virtual ~SharingCommandHost() = default;
    virtual QWidget& HostWidget() = 0;
    virtual CCaptureGraph& Engine() const = 0;
    virtual bool FramesAreCorrected() const = 0;
    virtual const MediaFolders& Folders() const = 0;
    // The scale, the magnification and the live measurements the pages draw.
    virtual LiveInfo SharedLiveInfo() const = 0;
    // The stage calibrations' file: the stream's address is kept beside it.
    virtual QString CalibrationPath() const = 0;
};

class SharingCommands : public SharingHost {
public:
    explicit SharingCommands(SharingCommandHost& host);
    ~SharingCommands() override;

    // Opens the dialog (or brings it forward).
    void OpenDialog();
    // Starts at once, as `--share` does; false with the reason.
    bool StartNow(quint16 port, QString* error);
    ShareControl& Sharing() { return sharing_; }
    // Setting → Stream to a server..., and `--stream=ADDRESS`.
    void OpenStreamDialog();
    bool StreamNow(const QString& address, QString* error);
    StreamControl& Stream() { return stream_; }
    CShareDlg* Dialog() const { return dialog_.data(); }

    // SharingHost
    SharedFrame NewestFrame() const override;
    bool FramesAreCorrected() const override;
    LiveInfo CurrentLiveInfo() const override;
    QStringList SharedFolders() const override;

private:
    void FollowFrames();
    // The last address streamed to, kept for the next start (readable by the user alone: it
    // holds the stream's key).
    QString StreamAddressPath() const;
    void RememberStreamAddress();

    SharingCommandHost& host_;
    ShareControl sharing_;
    StreamControl stream_;
    QPointer<CShareDlg> dialog_;
    QPointer<CStreamDlg> streamDialog_;
    bool connected_ = false;
};
