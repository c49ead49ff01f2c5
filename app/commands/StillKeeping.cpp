#include "app/commands/StillKeeping.h"

#include "app/PictureDescription.h"
#include "app/ProgramPaths.h"
#include "app/stills/StillFormatSetting.h"
#include "app/stills/StillWriter.h"
#include "browser/ThumbnailList.h"
#include "framework/MessageBox.h"
#include "measure/StageCalibration.h"
#include "resources/Resources.h"

int TypedMagnification(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? value : 0;
}

int StillKeeping::ReadMagnification()
{
    magnification_ = TypedMagnification(host_.MagnificationText());
    return magnification_;
}

PictureMetadata StillKeeping::Describe(const PictureMetadata& carried, int magnification, QSize size) const
{
    return DescribePicture(carried, magnification, size, CalibrationStore(host_.CalibrationPath()),
                           host_.StillFormat().NominalScale());
}

QString StillKeeping::SaveAsNext(const QImage& picture, const QString& tag, const PictureMetadata& metadata,
                                 int magnification)
{
    // Saved as the next still, in the stills' format, with the magnification's scale.
    const StillSaveResult result =
        StillWriter(host_.Folders().picture)
            .Write({picture, {}},
                   {QDateTime::currentDateTime(), magnification, tag, {host_.StillFormat().Format(), metadata}});
    if (result.outcome != StillSaveResult::Saved) {
        ReportFailure(result);
        return {};
    }
    Kept(result.path);
    host_.PlaySound(IDW_SHUTTER);
    return result.path;
}

void StillKeeping::SaveDepthMapBeside(const QString& saved, const QImage& depthMap, const PictureMetadata& metadata)
{
    if (saved.isEmpty() || depthMap.isNull()) return;
    const StillSaveResult result =
        StillWriter(host_.Folders().picture).WriteBeside(saved, QStringLiteral("_depth"), depthMap, metadata);
    if (result.outcome == StillSaveResult::Failed) ReportFailure(result);
}

void StillKeeping::Kept(const QString& path)
{
    lastPicturePath_ = path;
    host_.ThumbnailList().AddCapturedPicture(path);
}

void StillKeeping::ReportFailure(const StillSaveResult& result)
{
    ShowMessageBox(&host_.HostWidget(), StillFailureMessage(result), host_.MessageCaption(), MessageButtons::Ok,
                   MessageIcon::Error);
}
