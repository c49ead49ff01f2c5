#include "processing/PictureCombining.h"

#include "media/PictureFile.h"
#include "processing/FocusStack.h"
#include "processing/Mosaic.h"

#include <QFileInfo>

namespace {

QString SizeText(QSize size)
{
    return QStringLiteral("%1 x %2").arg(size.width()).arg(size.height());
}

bool Report(const CombineProgress& progress, const QString& line, int done, int total)
{
    return !progress || progress(line, done, total);
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
    const int total = static_cast<int>(paths.size());
    for (int i = 0; i < total; ++i) {
        QString reason;
        PictureMetadata carried;
        const QImage picture = ReadPictureFile(paths[i], &reason, &carried);
        if (picture.isNull()) {
            combined.failure = QStringLiteral("cannot read %1: %2").arg(paths[i], reason);
            return combined;
        }
        if (i == 0) {
            combined.metadata = carried;
            combined.inputSize = picture.size();
        }
        if (stack.Add(picture) == FocusStack::Added::WrongSize) {
            combined.failure = QStringLiteral("%1 is %2, the first picture %3: a stack needs pictures of one size")
                                   .arg(paths[i], SizeText(picture.size()), SizeText(stack.Size()));
            return combined;
        }
        if (!Report(progress, QStringLiteral("stacked %1 of %2: %3").arg(i + 1).arg(total).arg(paths[i]), i + 1, total)) {
            combined.failure = CombiningCancelled();
            return combined;
        }
    }
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
    for (int i = 0; i < total; ++i) {
        QString reason;
        PictureMetadata carried;
        const QImage picture = ReadPictureFile(paths[i], &reason, &carried);
        if (picture.isNull()) {
            combined.failure = QStringLiteral("cannot read %1: %2").arg(paths[i], reason);
            return combined;
        }
        if (mosaic.KeyCount() == 0) {
            combined.metadata = carried;
            combined.inputSize = picture.size();
        }
        switch (mosaic.Add(picture)) {
        case Mosaic::Step::First:
        case Mosaic::Step::KeyAdded:
        case Mosaic::Step::Resumed: keyOf[static_cast<std::size_t>(i)] = mosaic.KeyCount() - 1; break;
        case Mosaic::Step::WrongSize:
            combined.failure = QStringLiteral("%1 is %2, the first picture %3: a mosaic needs pictures of one size")
                                   .arg(paths[i], SizeText(picture.size()), SizeText(mosaic.FrameSize()));
            return combined;
        case Mosaic::Step::TooLarge:
            whyNot[static_cast<std::size_t>(i)] =
                QStringLiteral("the mosaic would pass its size limit (16384 pixels on a side, 1.5 GB of memory)");
            break;
        case Mosaic::Step::Lost:
        case Mosaic::Step::Followed:
            whyNot[static_cast<std::size_t>(i)] = mosaic.Lost() == Mosaic::LostReason::Blank
                                                      ? QStringLiteral("nothing to match in it (a blank picture)")
                                                      : QStringLiteral("it overlaps none of the pictures placed before it");
            break;
        }
        if (!Report(progress, QStringLiteral("read %1 of %2: %3").arg(i + 1).arg(total).arg(paths[i]), i + 1, steps)) {
            combined.failure = CombiningCancelled();
            return combined;
        }
    }
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
