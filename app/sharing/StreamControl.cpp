#include "app/sharing/StreamControl.h"

#include "framework/LangText.h"
#include "framework/Logging.h"

StreamControl::StreamControl(QObject* parent) : QObject(parent) {}

StreamControl::~StreamControl()
{
    sender_.reset(); // its worker stops before the hand-off goes
}

bool StreamControl::Start(const QString& address, QString* error)
{
    const std::string url = address.trimmed().toStdString();
    if (!StreamSender::IsStreamAddress(url)) {
        if (error)
            *error = LangText("StreamBadAddress", 100,
                              "The address must begin with rtmp://, rtmps:// or srt://, followed by the server.");
        return false;
    }
    Stop();
    address_ = address.trimmed();
    state_ = StreamSender::State::Connecting;
    sender_ = std::make_unique<StreamSender>(url, [this](StreamSender::State state, const std::string& reason) {
        reports_.Post({state, reason});
    });
    qCInfo(lcSharing) << "streaming to" << QString::fromStdString(StreamSender::WithoutKey(url));
    emit Changed();
    return true;
}

void StreamControl::Stop()
{
    if (!sender_) return;
    sender_.reset();
    reports_.TakeAll(); // what it said while stopping is no news
    state_ = StreamSender::State::Stopped;
    reason_.clear();
    emit Changed();
}

void StreamControl::Offer(SharedFrame frame)
{
    if (sender_) sender_->Offer(std::move(frame));
}

QString StreamControl::StatusText() const
{
    const QString where = QString::fromStdString(StreamSender::WithoutKey(address_.toStdString()));
    switch (state_) {
    case StreamSender::State::Connecting: return LangText("StreamConnecting", 64, "Connecting to") + ' ' + where;
    case StreamSender::State::Streaming: return LangText("StreamStreaming", 64, "Streaming to") + ' ' + where;
    case StreamSender::State::Reconnecting:
        return LangText("StreamDropped", 100, "The server is not taking the stream; connecting again:") + ' ' + reason_;
    case StreamSender::State::Stopped: break;
    }
    return LangText("StreamOff", 64, "Not streaming.");
}

bool StreamControl::event(QEvent* event)
{
    if (!reports_.IsFor(event)) return QObject::event(event);
    for (const Report& report : reports_.TakeAll()) {
        if (!sender_) break; // stopped meanwhile
        state_ = report.state;
        reason_ = QString::fromStdString(report.reason);
        if (state_ == StreamSender::State::Reconnecting) qCWarning(lcSharing) << "stream dropped:" << reason_;
        else if (state_ == StreamSender::State::Streaming) qCInfo(lcSharing) << "streaming";
    }
    emit Changed();
    return true;
}
