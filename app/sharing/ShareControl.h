#pragma once
// Sharing the live picture with the browsers of the room: the server, the one encoder of the
// live picture for all viewers, and what the page draws over it, kept up to date from the
// window. Frames are encoded only while someone watches.

#include "app/sharing/LiveInfo.h"
#include "app/sharing/LiveJpegSource.h"
#include "app/sharing/ShareServer.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

// What sharing needs of the window.
class SharingHost {
public:
    virtual ~SharingHost() = default;
    virtual SharedFrame NewestFrame() const = 0;
    // The live frames are corrected (flat field): the camera's own JPEG would not show that.
    virtual bool FramesAreCorrected() const = 0;
    virtual LiveInfo CurrentLiveInfo() const = 0;
    // The folders whose pictures and videos are offered.
    virtual QStringList SharedFolders() const = 0;
};

class ShareControl : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 kDefaultPort = 8080;

    explicit ShareControl(SharingHost& host, QObject* parent = nullptr);

    // Starts at `port`; when `port` is the default and taken, at a free one. False with the reason.
    bool Start(quint16 port, QString* error);
    void Stop();
    bool IsSharing() const { return server_.IsRunning(); }
    // http://ADDRESS:PORT/ with this computer's address on the local network.
    QString Address() const;
    // The same with the code in it, for the QR code.
    QString AddressWithCode() const;
    QString Code() const { return server_.AccessCode(); }
    int Viewers() const { return server_.Viewers(); }
    ShareServer& Server() { return server_; }
    const LiveJpegSource& Encoder() const { return encoder_; }

    // A new frame is shown in the window.
    void FrameShown();

signals:
    // Started, stopped, or the number watching changed.
    void Changed();

private:
    void UpdateInfo();

    SharingHost& host_;
    ShareServer server_;
    LiveJpegSource encoder_;
    QTimer infoTimer_;
};

// This computer's address on the local network (the first up, non-loopback IPv4 one), or
// "localhost" when it has none.
QString LocalNetworkAddress();
