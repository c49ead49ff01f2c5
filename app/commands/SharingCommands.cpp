#include "app/commands/SharingCommands.h"

#include "app/ProgramPaths.h"
#include "app/sharing/ShareDlg.h"
#include "capture/CaptureGraph.h"
#include "framework/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

SharingCommands::SharingCommands(SharingCommandHost& host) : host_(host), sharing_(*this)
{
    // An address that streamed is the one offered next time.
    QObject::connect(&stream_, &StreamControl::Changed, &stream_, [this] {
        if (stream_.State() == StreamSender::State::Streaming) RememberStreamAddress();
    });
}

SharingCommands::~SharingCommands()
{
    if (dialog_) delete dialog_.data();
    if (streamDialog_) delete streamDialog_.data();
    sharing_.Stop();
    stream_.Stop();
}

void SharingCommands::FollowFrames()
{
    if (connected_) return;
    // Every frame the window shows goes to the viewers too (encoded only while someone watches).
    QObject::connect(&host_.Engine(), &CCaptureGraph::FrameShown, &sharing_, &ShareControl::FrameShown);
    QObject::connect(&host_.Engine(), &CCaptureGraph::FrameShown, &stream_, [this] {
        if (stream_.IsStreaming()) stream_.Offer(host_.Engine().CurrentFrame().Get());
    });
    connected_ = true;
}

void SharingCommands::OpenDialog()
{
    FollowFrames();
    if (!dialog_) dialog_ = new CShareDlg(sharing_, &host_.HostWidget());
    dialog_->show();
    dialog_->raise();
    dialog_->activateWindow();
}

bool SharingCommands::StartNow(quint16 port, QString* error)
{
    FollowFrames();
    return sharing_.IsSharing() || sharing_.Start(port, error);
}

SharedFrame SharingCommands::NewestFrame() const
{
    return host_.Engine().CurrentFrame().Get();
}

bool SharingCommands::FramesAreCorrected() const
{
    return host_.FramesAreCorrected();
}

LiveInfo SharingCommands::CurrentLiveInfo() const
{
    return host_.SharedLiveInfo();
}

QStringList SharingCommands::SharedFolders() const
{
    const MediaFolders& folders = host_.Folders();
    return {folders.picture, folders.video};
}

QString SharingCommands::StreamAddressPath() const
{
    return QFileInfo(host_.CalibrationPath()).dir().filePath(QStringLiteral("stream.txt"));
}

void SharingCommands::RememberStreamAddress()
{
    const QString path = StreamAddressPath();
    QDir().mkpath(QFileInfo(path).path());
    if (!WriteFileWhole(path, stream_.Address().toUtf8(), nullptr)) return;
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

void SharingCommands::OpenStreamDialog()
{
    FollowFrames();
    if (!streamDialog_) {
        if (!stream_.IsStreaming() && stream_.Address().isEmpty())
            if (const auto kept = ReadRegularFile(StreamAddressPath(), 4096))
                stream_.SetAddress(QString::fromUtf8(*kept).trimmed());
        streamDialog_ = new CStreamDlg(stream_, &host_.HostWidget());
    }
    streamDialog_->show();
    streamDialog_->raise();
    streamDialog_->activateWindow();
}

bool SharingCommands::StreamNow(const QString& address, QString* error)
{
    FollowFrames();
    return stream_.Start(address, error);
}
