#include "processing/PictureCombining.h"

#include "media/PictureFile.h"
#include "processing/FocusStack.h"
#include "processing/Mosaic.h"

#include <QFileInfo>

#include <functional>

namespace {

QString SizeText(QSize size)
{
    return QStringLiteral("%1 x %2").arg(size.width()).arg(size.height());
}

bool Report(const CombineProgress& progress, const QString& line, int done, int total)
{
    return !progress || progress(line, done, total);
}

// Reads the inputs in order and hands each to `take`, which returns false to stop (having
// said why in `combined`). The first picture's description and size become the result's.
// False when an input could not be read, `take` stopped or the user cancelled.
bool ReadEach(const QStringList& paths, CombinedPictures& combined, const CombineProgress& progress, const QString& done,
              int steps, const std::function<bool(int, const QImage&)>& take)
{
    const int total = static_cast<int>(paths.size());
    for (int i = 0; i < total; ++i) {
        QString reason;
        PictureMetadata carried;
        const QImage picture = ReadPictureFile(paths[i], &reason, &carried);
        if (picture.isNull()) {
            combined.failure = QStringLiteral("cannot read %1: %2").arg(paths[i], reason);
            return false;
        }
        if (combined.inputSize.isEmpty()) {
            combined.metadata = carried;
            combined.inputSize = picture.size();
        }
        if (!take(i, picture)) return false;
        if (!Report(progress, QStringLiteral("%1 %2 of %3: %4").arg(done).arg(i + 1).arg(total).arg(paths[i]), i + 1, steps)) {
            combined.failure = CombiningCancelled();
            return false;
        }
    }
    return true;
}

} // namespace

QString CombiningCancelled()
{
    return QStringLiteral("cancelled");
}

CombinedPictures StackPictureFiles(const QStringList& paths, const CombineProgress& progress)
{
    CombinedPictures combined;
    FocusStack stack({true, true});
    const bool read = ReadEach(paths, combined, progress, QStringLiteral("stacked"), static_cast<int>(paths.size()),
                               [&](int i, const QImage& picture) {
                                   if (stack.Add(picture) != FocusStack::Added::WrongSize) return true;
                                   combined.failure =
                                       QStringLiteral("%1 is %2, the first picture %3: a stack needs pictures of one size")
                                           .arg(paths[i], SizeText(picture.size()), SizeText(stack.Size()));
                                   return false;
                               });
    if (!read) return combined;
    if (stack.Given() == 0) {
        combined.failure = QStringLiteral("no pictures to stack");
        return combined;
    }
    combined.picture = stack.Result();
    combined.depthMap = stack.DepthMap();
    combined.used = stack.Counted();
    return combined;
}

CombinedPictures MosaicOfPictureFiles(const QStringList& paths, const CombineProgress& progress)
{
    CombinedPictures combined;
    Mosaic mosaic({true});
    const int total = static_cast<int>(paths.size());
    // Reading and placing is most of the work for a few pictures, assembling for many: each
    // counts as much as the other.
    const int steps = 2 * total;
    std::vector<int> keyOf(paths.size(), -1); // each input's key picture, -1 when not placed
    std::vector<QString> whyNot(paths.size());
    const bool read = ReadEach(paths, combined, progress, QStringLiteral("read"), steps, [&](int i, const QImage& picture) {
        const auto input = static_cast<std::size_t>(i);
        switch (mosaic.Add(picture)) {
        case Mosaic::Step::First:
        case Mosaic::Step::KeyAdded:
        case Mosaic::Step::Resumed: keyOf[input] = mosaic.KeyCount() - 1; break;
        case Mosaic::Step::WrongSize:
            combined.failure = QStringLiteral("%1 is %2, the first picture %3: a mosaic needs pictures of one size")
                                   .arg(paths[i], SizeText(picture.size()), SizeText(mosaic.FrameSize()));
            return false;
        case Mosaic::Step::TooLarge:
            whyNot[input] = QStringLiteral("the mosaic would pass its size limit (16384 pixels on a side, 1.5 GB of memory)");
            break;
        case Mosaic::Step::Lost:
        case Mosaic::Step::Followed:
            whyNot[input] = mosaic.Lost() == Mosaic::LostReason::Blank
                                ? QStringLiteral("nothing to match in it (a blank picture)")
                                : QStringLiteral("it overlaps none of the pictures placed before it");
            break;
        }
        return true;
    });
    if (!read) return combined;
    if (mosaic.KeyCount() == 0) {
        combined.failure = QStringLiteral("none of the pictures has anything to match");
        return combined;
    }
    bool cancelled = false;
    const Mosaic::Assembled assembled = mosaic.Assemble([&](int done, int all) {
        cancelled = !Report(progress, QString(), total + done * total / std::max(1, all), steps);
        return !cancelled;
    });
    if (cancelled || assembled.picture.isNull()) {
        combined.failure = cancelled ? CombiningCancelled() : QStringLiteral("the mosaic passes its size limit");
        return combined;
    }
    for (int i = 0; i < total; ++i) {
        const int key = keyOf[static_cast<std::size_t>(i)];
        if (key < 0) {
            combined.outcomes << QStringLiteral("not placed %1: %2").arg(paths[i], whyNot[static_cast<std::size_t>(i)]);
            continue;
        }
        const QPointF at = assembled.positions[static_cast<std::size_t>(key)];
        combined.outcomes << QStringLiteral("placed %1 %2 %3").arg(paths[i]).arg(at.x(), 0, 'f', 1).arg(at.y(), 0, 'f', 1);
    }
    combined.picture = assembled.picture;
    combined.used = mosaic.KeyCount();
    Report(progress,
           QStringLiteral("placed %1 of %2 pictures; where they overlap they differ by %3 grey levels (RMS)")
               .arg(combined.used)
               .arg(total)
               .arg(assembled.overlapRms, 0, 'f', 1),
           steps, steps);
    return combined;
}
