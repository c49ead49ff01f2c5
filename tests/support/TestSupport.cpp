#include "TestSupport.h"
#include "media/BmpFile.h"
#include "media/StillNames.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

MessageBoxRecorder::MessageBoxRecorder(Answer answer) : answer_(answer)
{
    previous_ = SetMessageBoxHook([this](const MessageBoxRequest& request) {
        boxes_.push_back(request);
        return answer_;
    });
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    SetMessageBoxHook(std::move(previous_));
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(bytes);
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray SmallBmp(QRgb colour)
{
    const int w = 8, h = 6;
    QByteArray pixels;
    for (int i = 0; i < w * h; ++i) {
        pixels += char(qBlue(colour));
        pixels += char(qGreen(colour));
        pixels += char(qRed(colour));
    }
    const auto headers = BmpHeaders(w, h, static_cast<std::uint32_t>(pixels.size()));
    return QByteArray(reinterpret_cast<const char*>(headers.data()), 54) + pixels;
}
