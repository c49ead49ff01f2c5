#include "app/stills/StillPicture.h"

#include "framework/RegularFile.h"
#include "capture/FrameDelivery.h"

#include <QDir>
#include <QDirIterator>
#include <QImage>

#include <cstring>
#include <limits>
#include <memory>
#include <new>

QString StillPictureName(const QDateTime& time, int magnification, int runningNumber, const QString& extension,
                         const QString& tag)
{
    const QDate d = time.date();
    const QTime t = time.time();
    const QString number = (tag.isEmpty() ? QString() : tag + QLatin1Char('_')) + QString::asprintf("N%04d.", runningNumber);
    if (magnification != 0)
        return QString::asprintf("Still_%4d-%02d-%02d_%02d%02d%02d_%03dX_", d.year(), d.month(), d.day(), t.hour(),
                                 t.minute(), t.second(), magnification) +
               number + extension;
    return QString::asprintf("Still_%4d-%02d-%02d_%02d%02d%02d_", d.year(), d.month(), d.day(), t.hour(), t.minute(),
                             t.second()) +
           number + extension;
}

std::vector<std::uint8_t> BmpHeaders(std::int32_t width, std::int32_t height, std::uint32_t imageSize)
{
    std::vector<std::uint8_t> bytes(54, 0);
    auto put = [&bytes](std::size_t at, std::uint64_t value, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    put(0, 0x4D42, 2);
    put(2, imageSize + 54u, 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, static_cast<std::uint32_t>(width), 4);
    put(22, static_cast<std::uint32_t>(height), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    put(34, imageSize, 4);
    return bytes;
}

QByteArray BmpFile(const Frame& frame)
{
    // A bitmap file's rows go bottom-up: the frame's rows in the other order, as they are.
    const std::size_t bytes = frame.Bytes();
    const std::vector<std::uint8_t> headers = BmpHeaders(frame.width, frame.height, static_cast<std::uint32_t>(bytes));
    QByteArray file;
    file.reserve(static_cast<qsizetype>(54 + bytes));
    file.append(reinterpret_cast<const char*>(headers.data()), 54);
    for (int y = frame.height - 1; y >= 0; --y)
        file.append(reinterpret_cast<const char*>(frame.Row(y)), static_cast<qsizetype>(frame.stride));
    return file;
}

StillSaveResult SaveStillPicture(const HeldFrame& heldFrame, StillTrigger& stills, const QString& folder,
                                 int magnification, const QDateTime& now, const std::function<void()>& onDirectory,
                                 const StillFileOptions& options)
{
    StillSaveResult result;
    // A bitmap: the two headers, then the frame's rows as they are held. Another format:
    // the frame's own copy, written below without holding the frame.
    QByteArray file;
    QImage picture;
    const bool copied = heldFrame.With([&](const Frame& frame) {
        if (frame.Empty()) return false;
        try {
            if (options.format == PictureFormat::Bmp) {
                file = BmpFile(frame);
            } else {
                picture = QImage(frame.pixels.data(), frame.width, frame.height, static_cast<qsizetype>(frame.stride),
                                 QImage::Format_BGR888)
                              .copy();
                if (picture.isNull()) return false;
            }
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    });
    if (!copied) {
        // No whole frame held (or no memory for the copy): the next frame announces again.
        stills.Rearm();
        return result;
    }
    if (!stills.Serve()) return result; // already served

    // Stills of every format count on together.
    const int runningNumber = NextRunningNumber(folder, onDirectory, StillPicturePatterns());
    result.path = folder + QLatin1Char('/') + StillPictureName(now, magnification, runningNumber, ExtensionOf(options.format));
    // Written whole under a temporary name, then renamed: a full disk never leaves a cut
    // picture under a capture name, and the failure names the system's reason.
    PictureMetadata metadata = options.metadata;
    metadata.captured = now;
    metadata.magnification = magnification;
    const bool written = options.format == PictureFormat::Bmp ? WriteFileWhole(result.path, file, &result.error)
                                                               : WritePictureFile(result.path, picture, metadata, &result.error);
    if (!written) {
        result.outcome = StillSaveResult::Failed;
        return result;
    }
    result.outcome = StillSaveResult::Saved;
    return result;
}
