#include "processing/PictureCombining.h"

#include "media/PictureFile.h"
#include "processing/CvImages.h"
#include "processing/FocusStack.h"
#include "processing/Mosaic.h"
#include "processing/MosaicAssembly.h"
#include "processing/MosaicLayout.h"

#include <opencv2/imgproc.hpp>

#include <QFileInfo>

#include <functional>

namespace {

// Pictures are placed on grey copies reduced (by a whole factor) to at most this width.
constexpr int kPlacingWidth = 640;

QString SizeText(QSize size)
{
    return QStringLiteral("%1 x %2").arg(size.width()).arg(size.height());
}

bool Report(const CombineProgress& progress, const QString& line, int done, int total)
{
    return !progress || progress(line, done, total);
}

// Reads the inputs in order and hands each readable one to `take`, which returns why it
// left the picture out (empty when it took it). The first picture's description and size
// become the result's. Unreadable pictures and pictures of another size are left out with
// the reason. False when the user cancelled.
bool ReadEach(const QStringList& paths, CombinedPictures& combined, const CombineProgress& progress,
              const QString& done, int steps, const std::function<QString(int, const QImage&)>& take,
              std::vector<QString>* whyLeftOut = nullptr)
{
    if (whyLeftOut) whyLeftOut->assign(static_cast<std::size_t>(paths.size()), QString());
    const int total = static_cast<int>(paths.size());
    for (int i = 0; i < total; ++i) {
        QString reason;
        PictureMetadata carried;
        const QImage picture = ReadPictureFile(paths[i], &reason, &carried);
        QString why;
        if (picture.isNull()) {
            why = QStringLiteral("cannot read it: %1").arg(reason);
        } else if (!combined.inputSize.isEmpty() && picture.size() != combined.inputSize) {
            why = QStringLiteral("it is %1, the first picture %2 (the pictures must be of one size)")
                      .arg(SizeText(picture.size()), SizeText(combined.inputSize));
        } else {
            if (combined.inputSize.isEmpty()) {
                combined.metadata = carried;
                combined.inputSize = picture.size();
            }
            why = take(i, picture);
        }
        if (!why.isEmpty()) combined.leftOut << QStringLiteral("%1: %2").arg(paths[i], why);
        if (whyLeftOut) (*whyLeftOut)[static_cast<std::size_t>(i)] = why;
        if (!Report(progress, QStringLiteral("%1 %2 of %3: %4").arg(done).arg(i + 1).arg(total).arg(paths[i]), i + 1,
                    steps)) {
            combined.failure = CombiningCancelled();
            return false;
        }
    }
    return true;
}

// The failure when fewer than two pictures could be used: the reasons of those left out.
QString TooFewFailure(const CombinedPictures& combined, const QString& what)
{
    QString failure = QStringLiteral("fewer than two pictures to %1").arg(what);
    for (const QString& line : combined.leftOut) failure += QStringLiteral("\n  left out %1").arg(line);
    return failure;
}

} // namespace

QString CombiningCancelled()
{
    return QStringLiteral("cancelled");
}

CombinedPictures StackPictureFiles(const QStringList& paths, const CombineProgress& progress)
{
    std::optional<HeightMap> none;
    return StackPictureFiles(paths, HeightScale{}, none, progress);
}

CombinedPictures StackPictureFiles(const QStringList& paths, const HeightScale& scale,
                                   std::optional<HeightMap>& heights, const CombineProgress& progress)
{
    CombinedPictures combined;
    FocusStack::Options options;
    options.keepFrames = true;
    options.leaveOutUnrelated = true;
    FocusStack stack(options);
    const bool read = ReadEach(paths, combined, progress, QStringLiteral("stacked"), static_cast<int>(paths.size()),
                               [&](int, const QImage& picture) {
                                   return stack.Add(picture) == FocusStack::Added::Unrelated
                                              ? QStringLiteral("not part of the focus series")
                                              : QString();
                               });
    if (!read) return combined;
    for (const QString& line : combined.leftOut) combined.outcomes << QStringLiteral("left out ") + line;
    if (stack.Given() < 2) {
        combined.failure = TooFewFailure(combined, QStringLiteral("stack"));
        return combined;
    }
    combined.picture = stack.Result();
    combined.depthMap = stack.DepthMap();
    combined.used = stack.Counted();
    if (scale.growthPerMicrometre != 0) {
        heights = HeightsOf(stack, scale);
        if (heights && combined.metadata.HasScale())
            heights->micrometresPerPixel = 1000 * combined.metadata.millimetresPerPixel;
    }
    return combined;
}

CombinedPictures MosaicOfPictureFiles(const QStringList& paths, const CombineProgress& progress)
{
    CombinedPictures combined;
    const int total = static_cast<int>(paths.size());
    // Reading, laying out and blending (which reads the pictures again) a step a picture each.
    const int steps = 3 * total;
    // Only reduced grey copies are kept for placing (a few hundred pictures fit in memory);
    // the pictures themselves are read again for the blend.
    std::vector<cv::Mat> greys;
    std::vector<int> inputOf; // each kept picture's input
    std::vector<QString> unread;
    int reduction = 0;
    const bool read = ReadEach(
        paths, combined, progress, QStringLiteral("read"), steps,
        [&](int i, const QImage& picture) {
            cv::Mat grey;
            cv::cvtColor(BgrMatOf(picture), grey, cv::COLOR_BGR2GRAY);
            if (reduction == 0) reduction = std::max(1, (grey.cols + kPlacingWidth - 1) / kPlacingWidth);
            greys.push_back(ReducedGrey(grey, reduction));
            inputOf.push_back(i);
            return QString();
        },
        &unread);
    if (!read) return combined;

    bool cancelled = false;
    const MosaicLayout layout = LayOutMosaic(greys, std::max(1, reduction), [&](int done, int all) {
        cancelled = !Report(progress, QString(), total + done * total / std::max(1, all), steps);
        return !cancelled;
    });
    greys.clear();
    if (cancelled) {
        combined.failure = CombiningCancelled();
        return combined;
    }
    // Each input's account, in order.
    std::vector<QString> outcomeOf(paths.size());
    for (int i = 0; i < total; ++i)
        if (!unread[static_cast<std::size_t>(i)].isEmpty())
            outcomeOf[static_cast<std::size_t>(i)] =
                QStringLiteral("not placed %1: %2").arg(paths[i], unread[static_cast<std::size_t>(i)]);
    std::vector<cv::Point2d> positions;
    std::vector<double> gains;
    std::vector<int> placedInput;
    for (std::size_t p = 0; p < layout.pictures.size(); ++p) {
        const MosaicLayout::Placement& placement = layout.pictures[p];
        const int input = inputOf[p];
        if (!placement.position) {
            combined.leftOut << QStringLiteral("%1: %2").arg(paths[input], placement.whyNot);
            outcomeOf[static_cast<std::size_t>(input)] =
                QStringLiteral("not placed %1: %2").arg(paths[input], placement.whyNot);
            continue;
        }
        positions.push_back(*placement.position);
        gains.push_back(placement.gain);
        placedInput.push_back(input);
    }
    if (placedInput.size() < 2) {
        combined.failure = TooFewFailure(combined, QStringLiteral("lay out as a mosaic"));
        return combined;
    }
    const Mosaic::Options limits;
    const cv::Size frame(combined.inputSize.width(), combined.inputSize.height());
    int blendSteps = 0;
    QString unreadable;
    const BlendedMosaic blended = BlendMosaic(
        static_cast<int>(placedInput.size()),
        [&](int i) {
            QString reason;
            const QString& path = paths[placedInput[static_cast<std::size_t>(i)]];
            const cv::Mat bgr = BgrMatOf(ReadPictureFile(path, &reason));
            if (bgr.empty()) unreadable = QStringLiteral("cannot read %1 again: %2").arg(path, reason);
            return bgr;
        },
        frame, positions, gains, limits.maxSide,
        [&] {
            cancelled = !Report(progress, QString(), 2 * total + std::min(++blendSteps, total - 1), steps);
            return !cancelled;
        });
    if (blended.picture.isNull()) {
        combined.failure = cancelled ? CombiningCancelled()
                           : !unreadable.isEmpty()
                               ? unreadable
                               : QStringLiteral("the mosaic passes its size limit (16384 pixels on a side)");
        return combined;
    }
    for (std::size_t p = 0; p < placedInput.size(); ++p) {
        const QPointF at = blended.positions[p];
        outcomeOf[static_cast<std::size_t>(placedInput[p])] =
            QStringLiteral("placed %1 %2 %3").arg(paths[placedInput[p]]).arg(at.x(), 0, 'f', 1).arg(at.y(), 0, 'f', 1);
    }
    for (const QString& outcome : outcomeOf) combined.outcomes << outcome;
    combined.picture = blended.picture;
    combined.used = static_cast<int>(placedInput.size());
    Report(progress,
           QStringLiteral(
               "placed %1 of %2 pictures over %3 overlapping pairs; their detail agrees to %4 where they overlap "
               "(correlation, 1 is identical)")
               .arg(combined.used)
               .arg(total)
               .arg(layout.pairs)
               .arg(layout.agreement, 0, 'f', 2),
           steps, steps);
    return combined;
}
