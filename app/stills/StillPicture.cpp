#include "app/stills/StillPicture.h"

#include "media/BmpFile.h"

#include "capture/FrameDelivery.h"
#include "framework/RegularFile.h"

#include <QDir>
#include <QDirIterator>
#include <QImage>

#include <cstring>
#include <limits>
#include <memory>
#include <new>

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
            if (options.format == PictureFormat::Bmp && !options.drawOver) {
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

    if (options.drawOver && !picture.isNull()) options.drawOver(picture);
    return StillWriter(folder, onDirectory).Write({picture, file}, {now, magnification, {}, options});
}
