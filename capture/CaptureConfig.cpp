#include "capture/CaptureConfig.h"

#include "framework/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

#include <cmath>

QString CaptureConfigPath(const QString& programDirectory)
{
    const QString inProgramDirectory = programDirectory + QStringLiteral("/CapConfig.dat");
    const QFileInfo directory(programDirectory);
    const QFileInfo existing(inProgramDirectory);
    if ((existing.exists() && existing.isWritable()) || (!existing.exists() && directory.isWritable()))
        return inProgramDirectory;
    const QString configDirectory = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(configDirectory);
    return configDirectory + QStringLiteral("/CapConfig.dat");
}

bool ReadCaptureConfig(const QString& path, VideoInfoHeader& format)
{
    OwnedFd fd = OpenRegularFile(path); // never waits on a FIFO in its place
    if (!fd.IsValid()) return false;
    QFile file;
    if (!file.open(fd.Get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) return false;
    fd.Release(); // the file closes it now
    const QByteArray bytes = file.read(VideoInfoHeader::kSize);
    if (bytes.size() != static_cast<qsizetype>(VideoInfoHeader::kSize)) return false;
    format = VideoInfoHeader::FromBytes(reinterpret_cast<const std::uint8_t*>(bytes.constData()));
    return true;
}

void WriteCaptureConfig(const QString& path, const VideoInfoHeader& format)
{
    // Overwritten in place, not truncated: every writer writes the same 88 bytes.
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) && !file.open(QIODevice::WriteOnly)) return;
    const auto bytes = format.ToBytes();
    file.seek(0);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
}

std::uint32_t FramesPerSecond(std::int64_t averageTimePerFrame)
{
    if (averageTimePerFrame <= 0) return 0; // no interval reported: no rate to derive
    return static_cast<std::uint32_t>(std::floor(10000000.0 / static_cast<double>(averageTimePerFrame) + 0.49999999));
}

std::uint32_t ImageSizeFor(std::int32_t width, std::int32_t height, std::uint16_t bitCount)
{
    std::uint32_t size = static_cast<std::uint32_t>(width) * static_cast<std::uint32_t>(height);
    if (bitCount == 16) size *= 2;
    else if (bitCount == 24) size *= 3;
    return size;
}

void ApplyDefaultFormat(VideoInfoHeader& format, const VideoInfoHeader& saved)
{
    format.width = 1280;
    format.height = 1024;
    format.imageSize = 2621440;
    format.bitRate = FramesPerSecond(saved.averageTimePerFrame) * 20971520u;
}

bool IsPlausibleFormat(const VideoInfoHeader& format)
{
    constexpr int kLargest = 4096;
    const bool bitCountKnown = format.bitCount == 8 || format.bitCount == 12 || format.bitCount == 16 ||
                               format.bitCount == 24 || format.bitCount == 32;
    return format.width > 0 && format.height > 0 && format.width <= kLargest && format.height <= kLargest &&
           bitCountKnown && format.averageTimePerFrame >= 0;
}
