#pragma once
// The sharing server: the live picture and the pictures taken, read-only, for the browsers of
// a classroom. A small HTTP/1.1 server on Qt's network classes, on the user-interface thread
// (every socket is non-blocking; nothing here waits):
//   /               the page (or the form that asks for the access code)
//   /live           the live picture as multipart JPEG, each viewer always the newest frame
//   /info           the scale, the magnification and the live measurements, as JSON
//   /pictures/      the pictures and videos taken, as JSON
//   /pictures/NAME  one of them
// Everything but the code form needs the access code, sent once through the form (then a
// cookie) or as ?code=CODE. A wrong code gets 403, and repeated wrong codes from one address
// wait longer and longer for their answer.

#include "app/sharing/HttpRequest.h"
#include "app/sharing/SharedPictures.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <chrono>
#include <map>
#include <memory>

class QTcpServer;
class QTcpSocket;

class ShareServer : public QObject {
    Q_OBJECT
public:
    explicit ShareServer(QObject* parent = nullptr);
    ~ShareServer() override;

    // Listens on every address at `port` (0: a free one); false with the reason.
    bool Start(quint16 port, QString* error);
    // Closes every connection and stops listening.
    void Stop();
    bool IsRunning() const;
    quint16 Port() const;

    // A new random code of six digits at every start; tests may set their own.
    QString AccessCode() const { return code_; }
    void SetAccessCode(const QString& code) { code_ = code; }
    void SetMaxViewers(int viewers) { maxViewers_ = viewers; }
    int MaxViewers() const { return maxViewers_; }
    // The pages that watch the live picture now.
    int Viewers() const { return viewers_; }
    SharedPictures& Pictures() { return pictures_; }

    // The newest live picture, a whole JPEG: sent to every viewer that is ready for it.
    void PublishFrame(const QByteArray& jpeg);
    // The most bytes waiting at the server for one viewer now (a slow one's backlog).
    qint64 QueuedBytesMost() const;
    // What /info answers.
    void SetLiveInfo(const QByteArray& json) { info_ = json; }

signals:
    void ViewersChanged(int viewers);

private:
    struct Connection;
    void Accept();
    void Read(Connection& connection);
    void Handle(Connection& connection, const QByteArray& body);
    void Answer(Connection& connection, int status, const QByteArray& type, const QByteArray& body,
                const QByteArray& extraHeaders = {});
    void StartLive(Connection& connection);
    void SendFrame(Connection& connection);
    void StartFile(Connection& connection, const SharedPicture& picture, bool headOnly);
    void ContinueFile(Connection& connection);
    void Written(Connection& connection);
    void Drop(QTcpSocket* socket);
    void CountViewers();
    bool CodeAccepted(const HttpRequest& request) const;
    // Milliseconds a wrong code from this address waits before its answer.
    int FailureDelay(const QHostAddress& address);
    QByteArray CodePage(bool wrong) const;

    QTcpServer* server_ = nullptr;
    std::map<QTcpSocket*, std::unique_ptr<Connection>> connections_;
    QString code_;
    int maxViewers_ = 60;
    int viewers_ = 0;
    QByteArray frame_;
    quint64 frameNumber_ = 0;
    QByteArray info_ = "{}";
    SharedPictures pictures_;
    QByteArray page_;
    QByteArray codeForm_;
    struct Failures {
        int count = 0;
        std::chrono::steady_clock::time_point last;
    };
    QHash<QString, Failures> failures_; // by address
};
