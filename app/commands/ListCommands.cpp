#include "app/commands/ListCommands.h"
#include "heights/HeightCalibration.h"
#include "heights/HeightsDlg.h"
#include "processing/LiveFocusStack.h"

#include "app/ProgramPaths.h"
#include "app/commands/StillKeeping.h"
#include "app/stills/StillFormatSetting.h"
#include "browser/ThumbnailList.h"
#include "framework/FileDialogs.h"
#include "framework/LangText.h"
#include "framework/MessageBox.h"
#include "framework/RegularFile.h"
#include "measure/PhotoMeasureDlg.h"
#include "media/PictureConversion.h"
#include "media/PictureWriter.h"
#include "media/StillNames.h"
#include "player/VideoPlayerDlg.h"
#include "processing/PictureCombining.h"
#include "widgets/WorkWithProgress.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString ExtensionOf(const QString& path)
{
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : path.mid(dot + 1);
}

QString DirectoryOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash);
}

} // namespace

QEvent::Type OpenSelectedEvent::Type()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

bool ListCommands::SelectedPath(QString& path, bool useMessageCaption)
{
    if (host_.ThumbnailList().GetSelectedPath(path) != 0) return true;
    ShowMessageBox(Parent(), LangText("SelectFile", 100, "Please select an image or video"),
                   useMessageCaption ? host_.MessageCaption() : QApplication::applicationName(), MessageButtons::Ok,
                   MessageIcon::Exclamation);
    return false;
}

void ListCommands::OpenSelected()
{
    QString path;
    if (!SelectedPath(path, true)) return;
    const QString extension = ExtensionOf(path);
    const std::optional<PictureFormat> format = PictureFormatOf(path);
    // Photo Measure opens stills: bitmaps, and the TIFF and PNG stills the program writes.
    if (extension == QLatin1String("bmp") || extension == QLatin1String("BMP") || format == PictureFormat::Tiff ||
        format == PictureFormat::Png) {
        QCoreApplication::postEvent(Parent(), new OpenSelectedEvent(OpenSelectedEvent::Kind::Picture));
    } else {
        QCoreApplication::postEvent(Parent(), new OpenSelectedEvent(OpenSelectedEvent::Kind::Video));
    }
}

void ListCommands::OnOpenSelected(const OpenSelectedEvent& event)
{
    if (event.WhatToOpen() == OpenSelectedEvent::Kind::Picture) OpenPicture();
    else OpenVideo();
}

void ListCommands::SaveSelectedAs()
{
    QString path;
    if (!SelectedPath(path, false)) return;
    CThumbnailList& list = host_.ThumbnailList();
    const MediaFolders& folders = host_.Folders();
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const QString proposal = name.left(std::max<qsizetype>(0, name.size() - 4));
    const bool pictures = list.ShowingPictures();
    // The dialog starts where a copy is accepted: where the last one went, else the user's
    // own Pictures or Videos folder (the media folders themselves are refused below).
    const QString start = !lastSaveAsFolder_.isEmpty() ? lastSaveAsFolder_ : SaveAsStartFolder(pictures);
    SaveFileRequest request;
    QString refused;
    if (pictures) {
        request = {QString(), start + QLatin1Char('/') + proposal,
                   QStringLiteral("Bitmap Files(*.bmp)|*.bmp|JPEG Files(*.jpg)|*.jpg|TIFF Files(*.tif)|*.tif|"
                                  "PNG Files(*.png)|*.png||"),
                   QStringLiteral("bmp")};
        refused = folders.picture;
    } else {
        request = {QString(), start + QLatin1Char('/') + proposal, QStringLiteral("AVI Files(*.avi)|*.avi||"),
                   QStringLiteral("avi")};
        refused = folders.video;
    }
    const QString chosen = GetSaveFileName(Parent(), request);
    if (chosen.isEmpty()) return;
    if (chosen.size() >= refused.size() && DirectoryOf(chosen).compare(refused, Qt::CaseInsensitive) == 0) {
        ShowMessageBox(Parent(), LangText("SaveToMediaFolder", 100, "Can't save file to temp directory!!"),
                       LangText("SaveFileCaption", 64, "Save file"), MessageButtons::Ok, MessageIcon::Exclamation);
        return;
    }
    // A picture saved in another format gets the scale it carries, or its magnification's.
    const ConversionOutcome saved =
        SavePictureAs(path, chosen, SameFormat::Copy, [this, &path](const PictureMetadata& carried, QSize size) {
            return stills_.Describe(carried, MagnificationInName(path), size);
        });
    list.SelectedWasSaved();
    if (saved.failure == ConversionOutcome::None) lastSaveAsFolder_ = DirectoryOf(chosen);
    else if (saved.failure == ConversionOutcome::Writing)
        ShowMessageBox(Parent(),
                       LangText("ConvertFail", 100, "The picture could not be converted:") +
                           (saved.reason.isEmpty() ? QString() : QLatin1Char('\n') + saved.reason),
                       host_.MessageCaption(), MessageButtons::Ok, MessageIcon::Warning);
    else
        ShowMessageBox(Parent(),
                       LangText("SaveAsFail", 100, "The file could not be saved:") + QLatin1Char('\n') + saved.reason,
                       host_.MessageCaption(), MessageButtons::Ok, MessageIcon::Warning);
    list.RedrawThumbnails();
}

QString ListCommands::SaveAsStartFolder(bool pictures) const
{
    const QString folder =
        QStandardPaths::writableLocation(pictures ? QStandardPaths::PicturesLocation : QStandardPaths::MoviesLocation);
    const MediaFolders& media = host_.Folders();
    // Never one of the folders the command refuses, nor one inside them.
    if (folder.isEmpty() || !QFileInfo(folder).isDir() || folder.startsWith(media.picture, Qt::CaseInsensitive) ||
        folder.startsWith(media.video, Qt::CaseInsensitive))
        return QDir::homePath();
    return folder;
}

void ListCommands::DeleteSelected(bool all)
{
    QString path;
    if (!SelectedPath(path, true)) return;
    CThumbnailList& list = host_.ThumbnailList();
    if (all) list.DeleteAll();
    else list.DeleteSelected();
    list.UpdateScrollBar();
}

void ListCommands::MailSelected()
{
    QString path;
    if (!SelectedPath(path, false)) return;
    CEmailDlg mail(path, attachments_, Parent());
    host_.RunDialog(mail);
}

void ListCommands::CombineSelectedPictures(bool mosaic)
{
    CThumbnailList& list = host_.ThumbnailList();
    const QStringList paths = list.ShowingPictures() ? list.SelectedPaths() : QStringList();
    if (paths.size() < 2) {
        ShowMessageBox(
            Parent(),
            LangText("SelectSeveral", 100, "Select two or more pictures in the list (Ctrl+click, Shift+click)."),
            host_.MessageCaption(), MessageButtons::Ok, MessageIcon::Information);
        return;
    }
    CombinedPictures combined;
    const QString label = mosaic ? LangText("MosaicAssembling", 100, "Assembling the mosaic...")
                                 : LangText("Stacking", 100, "Stacking the pictures...");
    RunWithProgress(Parent(), label, LangText("Cancel", 64, "Cancel"), [&](const ProgressReport& report) {
        const CombineProgress progress = [&report](const QString&, int done, int total) { return report(done, total); };
        combined = mosaic ? MosaicOfPictureFiles(paths, progress) : StackPictureFiles(paths, progress);
    });
    if (combined.picture.isNull()) {
        if (combined.failure != CombiningCancelled())
            ShowMessageBox(Parent(),
                           (mosaic ? LangText("MosaicFail", 100, "The mosaic could not be made:")
                                   : LangText("StackFail", 100, "The pictures could not be stacked:")) +
                               QLatin1Char('\n') + combined.failure,
                           host_.MessageCaption(), MessageButtons::Ok, MessageIcon::Warning);
        return;
    }
    TellLeftOut(combined);
    // The result has the first picture's scale: the one it carries, or its magnification's.
    const int magnification = MagnificationInName(paths.front());
    const PictureMetadata metadata = stills_.Describe(combined.metadata, magnification, combined.inputSize);
    const int typed = stills_.ReadMagnification();
    const QString saved = stills_.SaveAsNext(combined.picture, mosaic ? QStringLiteral("MOS") : QStringLiteral("EDF"),
                                             metadata, magnification > 0 ? magnification : typed);
    if (!mosaic && host_.StillFormat().DepthMap()) stills_.SaveDepthMapBeside(saved, combined.depthMap, metadata);
}

void ListCommands::TellLeftOut(const CombinedPictures& combined)
{
    if (!combined.leftOut.isEmpty())
        ShowMessageBox(Parent(),
                       LangText("PicturesLeftOut", 100, "These pictures were left out:") + QLatin1Char('\n') +
                           combined.leftOut.join(QLatin1Char('\n')),
                       host_.MessageCaption(), MessageButtons::Ok, MessageIcon::Information);
}

QString ListCommands::HeightCalibrationPath() const
{
    return QFileInfo(host_.CalibrationPath()).dir().filePath(QStringLiteral("heights.json"));
}

void ListCommands::ShowHeights()
{
    CThumbnailList& list = host_.ThumbnailList();
    const QStringList paths = list.ShowingPictures() ? list.SelectedPaths() : QStringList();
    if (paths.size() >= 3) return ShowHeightsOfSelected(paths);
    const LiveFocusStack& live = host_.LiveStack();
    if (live.HasLastStack()) {
        // The last live stack: its pictures that counted, kept reduced (half size from 1280 wide).
        const int magnification = stills_.ReadMagnification();
        const QString calibrationPath = HeightCalibrationPath();
        if (const QString notice = HeightCalibrationStore::Recover(calibrationPath); !notice.isEmpty())
            ShowMessageBox(Parent(), notice, host_.MessageCaption(), MessageButtons::Ok, MessageIcon::Warning);
        auto heights = live.LastHeights(HeightCalibrationStore(calibrationPath).ScaleFor(magnification));
        const QImage picture = live.LastPicture();
        if (heights) {
            const PictureMetadata metadata = stills_.Describe({}, magnification, picture.size() * live.LastReduction());
            if (metadata.HasScale())
                heights->micrometresPerPixel = 1000 * metadata.millimetresPerPixel * live.LastReduction();
            return ShowHeightsWindow(std::move(*heights), picture, magnification);
        }
    }
    ShowMessageBox(Parent(),
                   LangText("HeightsSelect", 160,
                            "Select three or more pictures of one field taken at different focus (Ctrl+click)."),
                   host_.MessageCaption(), MessageButtons::Ok, MessageIcon::Information);
}

void ListCommands::ShowHeightsOfSelected(const QStringList& paths)
{
    const QString calibrationPath = HeightCalibrationPath();
    if (const QString notice = HeightCalibrationStore::Recover(calibrationPath); !notice.isEmpty())
        ShowMessageBox(Parent(), notice, host_.MessageCaption(), MessageButtons::Ok, MessageIcon::Warning);
    const int named = MagnificationInName(paths.front());
    const int magnification = named > 0 ? named : stills_.ReadMagnification();
    const HeightScale scale = HeightCalibrationStore(calibrationPath).ScaleFor(magnification);
    CombinedPictures combined;
    std::optional<HeightMap> heights;
    RunWithProgress(Parent(), LangText("Stacking", 100, "Stacking the pictures..."), LangText("Cancel", 64, "Cancel"),
                    [&](const ProgressReport& report) {
                        const CombineProgress progress = [&report](const QString&, int done, int total) {
                            return report(done, total);
                        };
                        combined = StackPictureFiles(paths, scale, heights, progress);
                    });
    if (combined.picture.isNull() || !heights) {
        if (combined.failure != CombiningCancelled())
            ShowMessageBox(
                Parent(),
                LangText("HeightsFail", 100, "No heights could be made of these pictures:") + QLatin1Char('\n') +
                    (combined.failure.isEmpty()
                         ? LangText("HeightsTooFew", 100, "they need three pictures or more at different focus.")
                         : combined.failure),
                host_.MessageCaption(), MessageButtons::Ok, MessageIcon::Warning);
        return;
    }
    TellLeftOut(combined);
    // Across, the scale the pictures carry or their magnification's calibration.
    const PictureMetadata metadata = stills_.Describe(combined.metadata, magnification, combined.inputSize);
    if (metadata.HasScale()) heights->micrometresPerPixel = 1000 * metadata.millimetresPerPixel;
    ShowHeightsWindow(std::move(*heights), combined.picture, magnification);
}

void ListCommands::ShowHeightsWindow(HeightMap map, const QImage& picture, int magnification)
{
    CHeightsDlg window(std::move(map), picture, magnification, HeightCalibrationPath(), Parent());
    if (runHeightsWindow) runHeightsWindow(window);
    else window.exec();
}

void ListCommands::OpenVideo()
{
    QString path;
    if (host_.ThumbnailList().GetSelectedPath(path) == 0) return;
    CThumbnailList& list = host_.ThumbnailList();
    CVideoPlayerDlg player(
        path,
        [&list] {
            QString selected;
            return list.GetSelectedPath(selected) != 0;
        },
        Parent());
    host_.RunDialog(player);
}

void ListCommands::OpenPicture()
{
    QString path;
    if (host_.ThumbnailList().GetSelectedPath(path) == 0) return;
    if (!IsReadableRegularFile(path)) {
        ShowMessageBox(Parent(), LangText("PictureNotOpen", 100, "the picture not open,please check the file exist!"),
                       QApplication::applicationName());
        return;
    }
    CPhotoMeasureDlg dialog(path, Parent(), host_.CalibrationPath());
    if (!dialog.HasPicture()) return; // the reason was shown; no empty window follows
    dialog.DoModal();
}
