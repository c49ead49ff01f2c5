#include "media/PictureConversion.h"

#include "framework/RegularFile.h"
#include "media/PictureFile.h"
#include "media/PictureWriter.h"

#include <QFileInfo>

ConversionOutcome SavePictureAs(const QString& source, const QString& destination, SameFormat sameFormat,
                                const DescribeConverted& describe)
{
    ConversionOutcome outcome;
    const std::optional<PictureFormat> target = PictureFormatOf(destination);
    if (!target || (sameFormat == SameFormat::Copy && target == PictureFormatOf(source))) {
        outcome.copied = true;
        if (QFileInfo(destination) != QFileInfo(source) && !CopyRegularFile(source, destination, &outcome.reason))
            outcome.failure = ConversionOutcome::Copying;
        return outcome;
    }
    PictureMetadata carried;
    const QImage picture = ReadPictureFile(source, &outcome.reason, &carried);
    if (picture.isNull()) {
        outcome.failure = ConversionOutcome::Reading;
        return outcome;
    }
    outcome.size = picture.size();
    outcome.metadata = describe ? describe(carried, picture.size()) : carried;
    if (!WritePictureFile(destination, picture, outcome.metadata, &outcome.reason))
        outcome.failure = ConversionOutcome::Writing;
    return outcome;
}
