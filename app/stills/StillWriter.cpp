#include "app/stills/StillWriter.h"

#include "framework/LangText.h"
#include "framework/RegularFile.h"
#include "framework/RunningNumber.h"
#include "media/StillNames.h"

StillSaveResult StillWriter::Write(const StillContent& content, const StillDescription& description) const
{
    StillSaveResult result;
    const int runningNumber = NextRunningNumber(folder_, onDirectory_, StillPicturePatterns());
    result.path = folder_ + QLatin1Char('/') +
                  StillPictureName(description.time, description.magnification, runningNumber,
                                   ExtensionOf(description.file.format), description.tag);
    PictureMetadata metadata = description.file.metadata;
    if (!metadata.captured.isValid()) metadata.captured = description.time;
    if (metadata.magnification == 0) metadata.magnification = description.magnification;
    // Whole under a temporary name, then renamed: a full disk never leaves a cut picture
    // under a still's name, and the failure names the system's reason.
    const bool written = !content.bitmapFile.isEmpty() && description.file.format == PictureFormat::Bmp
                             ? WriteFileWhole(result.path, content.bitmapFile, &result.error)
                             : WritePictureFile(result.path, content.picture, metadata, &result.error);
    result.outcome = written ? StillSaveResult::Saved : StillSaveResult::Failed;
    return result;
}

StillSaveResult StillWriter::WriteBeside(const QString& still, const QString& suffix, const QImage& picture,
                                         const PictureMetadata& metadata) const
{
    StillSaveResult result;
    const qsizetype dot = still.lastIndexOf(QLatin1Char('.'));
    result.path = still.left(dot) + suffix + still.mid(dot);
    result.outcome = WritePictureFile(result.path, picture, metadata, &result.error) ? StillSaveResult::Saved
                                                                                     : StillSaveResult::Failed;
    return result;
}

QString StillFailureMessage(const StillSaveResult& result)
{
    return LangText("PictureSaveFail", 100, "The picture could not be saved:") +
           QStringLiteral("\n%1\n%2").arg(result.path, result.error);
}
