#pragma once
// Sending the live picture to a streaming server (Setting → Stream to a server..., or
// `--stream=ADDRESS`): the sender fed from the window's frames, and what it reports, brought
// to the window's thread. It says when the server dropped the stream; the sender connects
// again by itself.

#include "framework/Frame.h"
#include "framework/HandOff.h"
#include "media/StreamSender.h"

#include <QObject>
#include <QString>

#include <memory>

class StreamControl : public QObject {
    Q_OBJECT
public:
    explicit StreamControl(QObject* parent = nullptr);
    ~StreamControl() override;

    // False (with the reason) for an address that is not rtmp://, rtmps:// or srt://.
    bool Start(const QString& address, QString* error);
    void Stop();
    bool IsStreaming() const { return sender_ != nullptr; }
    StreamSender::State State() const { return state_; }
    // What the window shows: where it streams to and how it goes.
    QString StatusText() const;
    QString Address() const { return address_; }
    // The address offered before a start (the one used last time); not while streaming.
    void SetAddress(const QString& address)
    {
        if (!sender_) address_ = address;
    }

    void Offer(SharedFrame frame);

signals:
    void Changed();

protected:
    bool event(QEvent* event) override;

private:
    struct Report {
        StreamSender::State state;
        std::string reason;
    };
    HandOff<Report> reports_{this, 8};
    QString address_;
    StreamSender::State state_ = StreamSender::State::Stopped;
    QString reason_;
    std::unique_ptr<StreamSender> sender_; // last: its worker reports into the hand-off
};
