#include "app/sharing/ShareControl.h"

#include <QNetworkInterface>

namespace {
constexpr int kInfoIntervalMs = 500;
}

QString LocalNetworkAddress()
{
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
            (flags & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries())
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol) return entry.ip().toString();
    }
    return QStringLiteral("localhost");
}

ShareControl::ShareControl(SharingHost& host, QObject* parent) : QObject(parent), host_(host)
{
    connect(&encoder_, &LiveJpegSource::FrameReady, &server_, &ShareServer::PublishFrame);
    connect(&server_, &ShareServer::ViewersChanged, this, &ShareControl::Changed);
    infoTimer_.setInterval(kInfoIntervalMs);
    connect(&infoTimer_, &QTimer::timeout, this, &ShareControl::UpdateInfo);
}

bool ShareControl::Start(quint16 port, QString* error)
{
    server_.Pictures().SetFolders(host_.SharedFolders());
    if (!server_.Start(port, error) && !(port == kDefaultPort && server_.Start(0, error))) return false;
    UpdateInfo();
    infoTimer_.start();
    // The picture the page opens with: the one held now.
    if (const SharedFrame frame = host_.NewestFrame()) encoder_.Offer(frame, !host_.FramesAreCorrected());
    emit Changed();
    return true;
}

void ShareControl::Stop()
{
    infoTimer_.stop();
    server_.Stop();
    emit Changed();
}

QString ShareControl::Address() const
{
    return IsSharing() ? QStringLiteral("http://%1:%2/").arg(LocalNetworkAddress()).arg(server_.Port()) : QString();
}

QString ShareControl::AddressWithCode() const
{
    return IsSharing() ? Address() + QStringLiteral("?code=") + Code() : QString();
}

void ShareControl::FrameShown()
{
    if (!IsSharing() || Viewers() == 0) return;
    encoder_.Offer(host_.NewestFrame(), !host_.FramesAreCorrected());
}

void ShareControl::UpdateInfo()
{
    server_.SetLiveInfo(LiveInfoJson(host_.CurrentLiveInfo()));
    // A still taken shows on the pages at their next look at the list.
    server_.Pictures().SetFolders(host_.SharedFolders());
}
