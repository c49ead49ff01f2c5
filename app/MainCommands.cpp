#include "app/MainCommands.h"

#include "app/AboutDlg.h"
#include "app/Commands.h"
#include "app/PictureDescription.h"
#include "app/ProgramPaths.h"
#include "app/mail/EmailDlg.h"
#include "app/recording/RecordingControl.h"
#include "app/settings/FlatFieldDlg.h"
#include "app/stills/StillFormatSetting.h"
#include "app/stills/StillPicture.h"
#include "app/stills/StillWriter.h"
#include "app/timelapse/TimeLapseDlg.h"
#include "browser/ThumbnailList.h"
#include "capture/CaptureGraph.h"
#include "framework/FileDialogs.h"
#include "framework/LangText.h"
#include "framework/Logging.h"
#include "framework/RegularFile.h"
#include "measure/CalibrationsDlg.h"
#include "measure/PhotoMeasureDlg.h"
#include "measure/StageCalibration.h"
#include "media/PictureConversion.h"
#include "media/PictureWriter.h"
#include "media/StillNames.h"
#include "player/VideoPlayerDlg.h"
#include "processing/FocusMeter.h"
#include "processing/LiveFocusStack.h"
#include "processing/LiveMosaic.h"
#include "processing/PictureCombining.h"
#include "resources/Resources.h"
#include "widgets/WorkWithProgress.h"

#include <QApplication>
#include <QDir>
#include <QFile>
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

void MainCommands::MailSelected()
{
    QString path;
    if (!SelectedPath(path, false)) return;
    CEmailDlg mail(path, attachments_, Parent());
    host_.RunDialog(mail);
}

void MainCommands::RunCalibrations()
{
    CalibrationStore store(host_.CalibrationPath());
    CCalibrationsDlg dialog(store, Parent());
    host_.RunDialog(dialog);
}

void MainCommands::RunFlatField()
{
    CFlatFieldDlg dialog(host_.FlatField(), Parent());
    host_.RunDialog(dialog);
}

void MainCommands::ShowAbout()
{
    CAboutDlg about(Parent());
    about.DoModal();
}

void MainCommands::SwitchStillOption(int command)
{
    StillFormatSetting& still = host_.StillFormat();
    QString error;
    const bool kept = command == ID_CAPTURE_DEPTH_MAP ? still.SetDepthMap(!still.DepthMap(), &error)
                                                      : still.SetNominalScale(!still.NominalScale(), &error);
    if (!kept) qCWarning(lcMedia) << "the still setting could not be remembered:" << error;
}

void MainCommands::SetStillFormat(PictureFormat format)
{
    QString error;
    if (!host_.StillFormat().SetFormat(format, &error))
        qCWarning(lcMedia) << "the still format could not be remembered:" << error;
}

void MainCommands::CancelOrLeaveFullScreen()
{
    if (host_.LiveStack().Running()) host_.LiveStack().Cancel();
    else if (host_.LiveMosaicStep().Running()) host_.LiveMosaicStep().Cancel();
    else if (host_.IsFullScreen())
        QMetaObject::invokeMethod(
            Parent(), [this] { host_.LeaveFullScreen(); }, Qt::QueuedConnection);
}

void MainCommands::ToggleFocusStack()
{
    LiveFocusStack& stack = host_.LiveStack();
    if (!stack.Running()) {
        if (host_.IsConnected() && !host_.LiveMosaicStep().Running())
            stack.Start(LangText("StackSizeChanged", 100, "The capture size changed: stop to save the stack"));
        return;
    }
    QImage depthMap;
    const QImage result = stack.Stop(host_.StillFormat().DepthMap() ? &depthMap : nullptr);
    if (result.isNull()) return;
    ReadMagnification();
    const CalibrationStore calibrations(host_.CalibrationPath());
    const PictureMetadata metadata =
        DescribePicture({}, magnification_, result.size(), calibrations, host_.StillFormat().NominalScale());
    const QString saved = SaveAsNextStill(result, QStringLiteral("EDF"), metadata, magnification_);
    SaveDepthMapBeside(saved, depthMap, metadata);
}

void MainCommands::ToggleMosaic()
{
    LiveMosaic& live = host_.LiveMosaicStep();
    if (!live.Running()) {
        if (!host_.IsConnected() || host_.LiveStack().Running()) return;
        live.Start({LangText("MosaicLost", 100, "Tracking lost: go back over a covered area"),
                    LangText("MosaicBlank", 100, "Nothing to follow here: go back over a covered area"),
                    LangText("MosaicSizeLimit", 100, "The mosaic has reached its size limit: stop to save it"),
                    LangText("MosaicSizeChanged", 100, "The capture size changed: stop to save the mosaic")});
        return;
    }
    const std::unique_ptr<Mosaic> mosaic = live.Stop();
    if (!mosaic) return;
    if (mosaic->KeyCount() < 2) {
        // One picture is no mosaic: nothing is saved, and the user learns why.
        ShowMessageBox(
            Parent(),
            LangText("MosaicNotMoved", 100, "The view did not move over the sample: there is no mosaic to save."),
            host_.MessageCaption(), MessageButtons::Ok, MessageIcon::Information);
        return;
    }
    Mosaic::Assembled assembled;
    if (!RunWithProgress(Parent(), LangText("MosaicAssembling", 100, "Assembling the mosaic..."),
                         LangText("Cancel", 64, "Cancel"),
                         [&](const ProgressReport& report) { assembled = mosaic->Assemble(report); }) ||
        assembled.picture.isNull())
        return;
    // The mosaic has the frames' scale: that of the magnification's calibration at their size.
    ReadMagnification();
    const CalibrationStore calibrations(host_.CalibrationPath());
    const PictureMetadata metadata =
        DescribePicture({}, magnification_, mosaic->FrameSize(), calibrations, host_.StillFormat().NominalScale());
    SaveAsNextStill(assembled.picture, QStringLiteral("MOS"), metadata, magnification_);
}

void MainCommands::CombineSelectedPictures(bool mosaic)
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
    if (!combined.leftOut.isEmpty())
        ShowMessageBox(Parent(),
                       LangText("PicturesLeftOut", 100, "These pictures were left out:") + QLatin1Char('\n') +
                           combined.leftOut.join(QLatin1Char('\n')),
                       host_.MessageCaption(), MessageButtons::Ok, MessageIcon::Information);
    // The result has the first picture's scale: the one it carries, or its magnification's.
    const CalibrationStore calibrations(host_.CalibrationPath());
    const int magnification = MagnificationInName(paths.front());
    const PictureMetadata metadata = DescribePicture(combined.metadata, magnification, combined.inputSize, calibrations,
                                                     host_.StillFormat().NominalScale());
    ReadMagnification();
    const QString saved = SaveAsNextStill(combined.picture, mosaic ? QStringLiteral("MOS") : QStringLiteral("EDF"),
                                          metadata, magnification > 0 ? magnification : magnification_);
    if (!mosaic && host_.StillFormat().DepthMap()) SaveDepthMapBeside(saved, combined.depthMap, metadata);
}

void MainCommands::SaveDepthMapBeside(const QString& saved, const QImage& depthMap, const PictureMetadata& metadata)
{
    if (saved.isEmpty() || depthMap.isNull()) return;
    const StillSaveResult result =
        StillWriter(host_.Folders().picture).WriteBeside(saved, QStringLiteral("_depth"), depthMap, metadata);
    if (result.outcome == StillSaveResult::Failed) ReportStillFailure(result);
}

QString MainCommands::SaveAsNextStill(const QImage& picture, const QString& tag, PictureMetadata metadata,
                                      int magnification)
{
    // Saved as the next still, in the stills' format, with the magnification's scale.
    const StillSaveResult result =
        StillWriter(host_.Folders().picture)
            .Write({picture, {}},
                   {QDateTime::currentDateTime(), magnification, tag, {host_.StillFormat().Format(), metadata}});
    if (result.outcome != StillSaveResult::Saved) {
        ReportStillFailure(result);
        return {};
    }
    lastPicturePath_ = result.path;
    host_.ThumbnailList().AddCapturedPicture(result.path);
    host_.PlaySound(IDW_SHUTTER);
    return result.path;
}

void MainCommands::ReportStillFailure(const StillSaveResult& result)
{
    ShowMessageBox(Parent(), StillFailureMessage(result), host_.MessageCaption(), MessageButtons::Ok,
                   MessageIcon::Error);
}

void MainCommands::TakeStillPicture()
{
    if (host_.IsPreviewState()) {
        host_.Engine().Stills().Request(StillSource::Keyboard);
        return;
    }
    ShowMessageBox(Parent(), LangText("BrowseToCamera", 100, "Please return to the preview state"),
                   QApplication::applicationName(), MessageButtons::Ok, MessageIcon::Exclamation);
}

void MainCommands::RunTimeLapse()
{
    if (!host_.IsPreviewState()) {
        ShowMessageBox(Parent(), LangText("BrowseToTimer", 100, "Please return to the preview state"),
                       QApplication::applicationName(), MessageButtons::Ok, MessageIcon::Exclamation);
        return;
    }
    CTimeLapseDlg dialog(host_.Engine(), Parent());
    seriesRunning_ = true;
    seriesFailureShown_ = false;
    host_.RunDialog(dialog);
    seriesRunning_ = false;
}

void MainCommands::RunVideoSetting()
{
    CVideoSettingDlg dialog(
        host_.Engine(), propertyRows_, [this](int width, int height) { SetResolution(width, height); }, Parent());
    dialog.beforeDeviceChange = [this] { host_.Recording().FinishBeforeStreamChange(); };
    videoSetting_ = &dialog;
    host_.RunDialog(dialog);
    videoSetting_.clear();
}

void MainCommands::OnDeviceListChanged()
{
    if (videoSetting_) videoSetting_->FillVideoSettingDialog();
}

void MainCommands::ReadMagnification()
{
    bool ok = false;
    const int value = host_.MagnificationText().trimmed().toInt(&ok);
    magnification_ = ok ? value : 0;
}

void MainCommands::OnCaptureStill(StillSource source)
{
    ReadMagnification();
    CCaptureGraph& engine = host_.Engine();
    StillFileOptions file{host_.StillFormat().Format(), {}};
    if (file.format != PictureFormat::Bmp) {
        // The file carries the scale of the magnification's calibration and the microscope.
        const CalibrationStore calibrations(host_.CalibrationPath());
        file.metadata =
            DescribePicture({}, magnification_, engine.CaptureSize(), calibrations, host_.StillFormat().NominalScale());
        if (const CaptureDevice* device = engine.Devices().Current())
            file.metadata.microscope = QString::fromStdU16String(device->friendlyName);
    }
    const StillSaveResult result = SaveStillPicture(
        engine.CurrentFrame(), engine.Stills(), host_.Folders().picture, magnification_, QDateTime::currentDateTime(),
        [this] {
            ShowMessageBox(Parent(), LangText("PictureError", 64, "Picture Error"), QApplication::applicationName());
        },
        file);
    if (result.outcome == StillSaveResult::Saved) {
        lastPicturePath_ = result.path;
        host_.ThumbnailList().AddCapturedPicture(result.path);
        if (source == StillSource::CameraButton || host_.Recording().IsRecording()) engine.RestartPreview();
    } else if (result.outcome == StillSaveResult::Failed && !(seriesRunning_ && seriesFailureShown_)) {
        // A picture the user asked for and did not get must not go unnoticed; a series that
        // keeps failing says so once.
        seriesFailureShown_ = seriesRunning_;
        ReportStillFailure(result);
    }
    host_.PlaySound(IDW_SHUTTER);
}

void MainCommands::SwitchOverlay(int command)
{
    if (!host_.IsConnected()) return;
    const int index = command - ID_OVERLAY_CROSS;
    CCaptureGraph& engine = host_.Engine();
    OverlaySwitches overlays = engine.Overlays();
    bool* switches[4] = {&overlays.crossLine, &overlays.coordinates, &overlays.circles, &overlays.dateTime};
    int& counter = overlayCounters_[static_cast<std::size_t>(index)];
    if (counter % 2 == 0) {
        *switches[index] = true;
        ++counter;
    } else {
        *switches[index] = false;
        --counter;
    }
    engine.SetOverlays(overlays);
}

bool MainCommands::TakeScaleBarCalibration()
{
    // The bar's scale is the calibration of the magnification in the box.
    ReadMagnification();
    const CalibrationStore store(host_.CalibrationPath());
    const std::optional<StageCalibration> calibration = store.Find(magnification_);
    host_.Engine().SetScaleBarScale(calibration ? calibration->millimetresPerPixel : 0,
                                    store.Unit() == LengthUnit::Micrometre);
    return calibration.has_value();
}

void MainCommands::SwitchScaleBar()
{
    if (!host_.IsConnected()) return;
    CCaptureGraph& engine = host_.Engine();
    OverlaySwitches overlays = engine.Overlays();
    overlays.scaleBar = !overlays.scaleBar;
    if (overlays.scaleBar && !TakeScaleBarCalibration()) {
        ShowMessageBox(Parent(), LangText("NoCalibration", 100, "There is no calibration for this magnification."),
                       host_.MessageCaption(), MessageButtons::Ok, MessageIcon::Information);
        return;
    }
    engine.SetOverlays(overlays);
}

void MainCommands::OnMagnificationEdited()
{
    // A bar on the live picture follows the box: another magnification, another scale (or
    // none where that magnification has no calibration).
    if (host_.Engine().Overlays().scaleBar) TakeScaleBarCalibration();
}

void MainCommands::SetResolution(int width, int height)
{
    if (host_.Engine().CaptureSize() != QSize(width, height)) host_.Recording().FinishBeforeStreamChange();
    host_.Engine().SetResolution(width, height);
    host_.CaptureSizeChanged();
}

bool MainCommands::SelectedPath(QString& path, bool useMessageCaption)
{
    if (host_.ThumbnailList().GetSelectedPath(path) != 0) return true;
    ShowMessageBox(Parent(), LangText("SelectFile", 100, "Please select an image or video"),
                   useMessageCaption ? host_.MessageCaption() : QApplication::applicationName(), MessageButtons::Ok,
                   MessageIcon::Exclamation);
    return false;
}

void MainCommands::OpenSelected()
{
    QString path;
    if (!SelectedPath(path, true)) return;
    const QString extension = ExtensionOf(path);
    const std::optional<PictureFormat> format = PictureFormatOf(path);
    // Photo Measure opens stills: bitmaps, and the TIFF and PNG stills the program writes.
    if (extension == QLatin1String("bmp") || extension == QLatin1String("BMP") || format == PictureFormat::Tiff ||
        format == PictureFormat::Png) {
        QCoreApplication::postEvent(Parent(), new OpenSelectedEvent(OpenSelectedEvent::Kind::Picture));
        ReadMagnification();
    } else {
        QCoreApplication::postEvent(Parent(), new OpenSelectedEvent(OpenSelectedEvent::Kind::Video));
    }
}

void MainCommands::OnOpenSelected(const OpenSelectedEvent& event)
{
    if (event.WhatToOpen() == OpenSelectedEvent::Kind::Picture) OpenPicture();
    else OpenVideo();
}

void MainCommands::SaveSelectedAs()
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
            return DescribePicture(carried, MagnificationInName(path), size, CalibrationStore(host_.CalibrationPath()),
                                   host_.StillFormat().NominalScale());
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

QString MainCommands::SaveAsStartFolder(bool pictures) const
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

void MainCommands::DeleteSelected(bool all)
{
    QString path;
    if (!SelectedPath(path, true)) return;
    CThumbnailList& list = host_.ThumbnailList();
    if (all) list.DeleteAll();
    else list.DeleteSelected();
    list.UpdateScrollBar();
}

void MainCommands::OpenVideo()
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

void MainCommands::OpenPicture()
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
