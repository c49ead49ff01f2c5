#include "app/recording/RecordingControl.h"

#include "app/recording/RecorderSettingsDlg.h"
#include "capture/CaptureGraph.h"
#include "framework/LangText.h"
#include "framework/RunningNumber.h"
#include "resources/Resources.h"

#include <QDateTime>
#include <QFile>

namespace {

// The step that failed, in the program's words; the system's or FFmpeg's reason follows it.
QString OpenFailureMessage(AviWriter::OpenStep step)
{
    switch (step) {
    case AviWriter::OpenStep::OpenFile: return LangText("AviOpenFailed", 100, "Open avi file failed");
    case AviWriter::OpenStep::CreateStream: return LangText("AviStreamFailed", 100, "Create stream failed");
    case AviWriter::OpenStep::MakeCompressedStream:
        return LangText("AviCompressorFailed", 100, "Make compress stream failed");
    case AviWriter::OpenStep::UnsupportedFormat: return LangText("AviUnsupported", 100, "Unsupport compressed format");
    case AviWriter::OpenStep::SetFormat:
    case AviWriter::OpenStep::None: break;
    }
    return LangText("AviFormatFailed", 100, "Set stream format failed");
}

QString RecordingName(const QDateTime& time, int runningNumber)
{
    const QDate d = time.date();
    const QTime t = time.time();
    return QString::asprintf("Video_%4d-%02d-%02d_%02d%02d%02d_N%04d.avi", d.year(), d.month(), d.day(), t.hour(),
                             t.minute(), t.second(), runningNumber);
}

} // namespace

CRecordingControl::CRecordingControl(RecordingHost& window)
    : QObject(&window.HostWidget()), window_(window), recording_(window.Engine())
{
    connect(&limitTimer_, &QTimer::timeout, this, &CRecordingControl::OnLimitTick);
    connect(&quickTimer_, &QTimer::timeout, this, &CRecordingControl::OnQuickTick);
    connect(&recording_, &CAviRecording::WriteFailed, this, &CRecordingControl::OnWriteFailed);
}

CRecordingControl::~CRecordingControl()
{
    recording_.Close();
}

int CRecordingControl::NominalRate(int captureWidth)
{
    return captureWidth == 320 ? 22 : captureWidth == 640 ? 15 : 5;
}

FrameRate CRecordingControl::FileRate(const VideoEncoderChoice& encoder) const
{
    const CCaptureGraph& engine = window_.Engine();
    const int nominal = NominalRate(engine.CaptureSize().width());
    // The camera's own frames play at the camera's own rate.
    return encoder.passthrough ? FrameRateOfInterval(engine.CameraFrameInterval(), nominal) : FrameRate(nominal);
}

void CRecordingControl::ShowFileRate(CRecorderSettingsDlg& dialog) const
{
    if (options_.IsValid() && options_.encoder.passthrough)
        dialog.SetFileRateText(LangText("RecordCameraRate", 100, "The file plays at the camera's own frame rate."));
    else dialog.SetFileRate(NominalRate(window_.Engine().CaptureSize().width()));
}

std::int64_t CRecordingControl::FramesDropped()
{
    const std::uint64_t byProcessing = window_.Engine().FramesDroppedByProcessing();
    const std::int64_t sinceStart =
        byProcessing > droppedBefore_ ? static_cast<std::int64_t>(byProcessing - droppedBefore_) : 0;
    return recording_.FramesDropped() + sinceStart;
}

void CRecordingControl::OnAviCommand()
{
    if (IsRecording()) {
        StopWithSound(IDW_RECORD);
        return;
    }
    window_.PlaySound(IDW_RECORD);
    limitTimer_.stop();
    quickTimer_.stop();
    timeLimit_ = 0;
    seconds_ = 0;
    const RecordingStream stream{window_.Engine().CaptureSize(), window_.Engine().DeliversMotionJpeg(),
                                 window_.FramesAreCorrected()};
    const QSize size = stream.size;
    CRecorderSettingsDlg* shown = nullptr;
    CRecorderSettingsDlg dialog(
        compressorChosen_,
        [&] {
            if (ChooseCompressor(options_, stream, &window_.HostWidget()) && shown) ShowFileRate(*shown);
        },
        [&] { SetDefaultCompressor(options_, size); }, &window_.HostWidget());
    shown = &dialog;
    dialog.SetFileRate(NominalRate(size.width()));
    const Answer answer = runSettingsDialog ? runSettingsDialog(dialog) : dialog.DoModal();
    if (answer != Answer::Ok) return;
    timeLimit_ = dialog.timeLimitOn ? dialog.timeLimitSeconds : kNoLimit;
    CCaptureGraph& engine = window_.Engine();
    engine.StopPreview();
    engine.SetPreviewFrameRate(dialog.frameRate);
    engine.StartPreview();
    if (!Open()) return;
    // The seconds count from the file's opening, not from the camera's restart before it.
    limitTimer_.start(1000);
    window_.SetRecordingLatches(true);
}

void CRecordingControl::OnQuickStart()
{
    if (IsRecording()) return;
    window_.PlaySound(IDW_RECORD);
    seconds_ = 0;
    timeLimit_ = 0;
    SetDefaultCompressor(options_, window_.Engine().CaptureSize());
    timeLimit_ = kNoLimit;
    CCaptureGraph& engine = window_.Engine();
    engine.StopPreview();
    engine.SetPreviewFrameRate(15);
    engine.StartPreview();
    if (!Open()) return;
    quickTimer_.start(1000);
    window_.SetRecordingLatches(true);
}

void CRecordingControl::OnQuickStop()
{
    if (!IsRecording()) return;
    window_.PlaySound(IDW_RECORD_END);
    quickTimer_.stop();
    limitTimer_.stop();
    StopAndClose();
}

void CRecordingControl::StopAndClose()
{
    // The stream is stopped first, so the file ends with the last frame the camera sent.
    CCaptureGraph& engine = window_.Engine();
    engine.StopPreview();
    EndRecording();
    window_.SetRecordingLatches(false);
    engine.StartPreview();
    window_.HideRecordCounter();
}

void CRecordingControl::OnStreamLost()
{
    limitTimer_.stop();
    quickTimer_.stop();
    EndRecording();
    window_.SetRecordingLatches(false);
    window_.HideRecordCounter();
}

void CRecordingControl::EndRecording()
{
    if (!IsRecording()) return;
    const QString path = recording_.Path();
    const bool finished = recording_.Close();
    // A recording that got no frame onto the disk (a full disk at once) is no video: it is
    // not kept. (Frames the encoder took may still have been lost with the last write.)
    if (recording_.FramesWritten() == 0 || (!finished && ReadAviFacts(path).frames == 0)) {
        QFile::remove(path);
        return;
    }
    window_.VideoRecorded(path);
}

bool CRecordingControl::Open()
{
    EndRecording();
    const QString folder = window_.VideoFolder();
    const int runningNumber = NextRunningNumber(
        folder,
        [] {
            ShowMessageBox(nullptr, LangText("AviError", 64, "AVI Error"),
                           LangText("AviCaptureCaption", 64, "AVI Capture"), MessageButtons::Ok, MessageIcon::Error);
        },
        QStringLiteral("*.avi"));
    const QString path = folder + QLatin1Char('/') + RecordingName(QDateTime::currentDateTime(), runningNumber);
    const CCaptureGraph& engine = window_.Engine();
    VideoEncoderChoice encoder = options_.IsValid() ? options_.encoder : VideoEncoderChoice{};
    // The camera's frames can only be stored as they are while it sends Motion JPEG.
    if (encoder.passthrough && !engine.DeliversMotionJpeg()) encoder = DefaultVideoEncoder();
    const FrameRate rate = FileRate(encoder);
    droppedBefore_ = engine.FramesDroppedByProcessing();
    const AviWriter::OpenResult opened = recording_.Open(path, rate, encoder);
    if (opened.failedStep == AviWriter::OpenStep::None) return true;
    // The reason follows the program's message; a file the failed open left behind holds
    // no frame and is removed rather than listed.
    ShowMessageBox(nullptr, OpenFailureMessage(opened.failedStep) + QLatin1Char('\n') + opened.reason,
                   QStringLiteral("AVI Capture"), MessageButtons::Ok, MessageIcon::Error);
    QFile::remove(path);
    return false;
}

void CRecordingControl::StopWithSound(int sound)
{
    window_.PlaySound(sound);
    limitTimer_.stop();
    quickTimer_.stop();
    timeLimit_ = 0;
    seconds_ = 0;
    StopAndClose();
    window_.RefreshTooltips();
}

bool CRecordingControl::FinishBeforeStreamChange()
{
    if (!IsRecording()) return false;
    // The file was opened for the old size and the old stream: it is finished whole
    // (index written, listed) before the stream changes, never fed frames of another size.
    StopWithSound(IDW_RECORD_END);
    ShowMessageBox(
        &window_.HostWidget(),
        LangText("RecordEndedForChange", 100, "The recording was finished and saved before the capture changed."),
        QStringLiteral("AVI Capture"), MessageButtons::Ok, MessageIcon::Information);
    return true;
}

void CRecordingControl::OnLimitTick()
{
    ++seconds_;
    if (seconds_ > timeLimit_) {
        window_.PlaySound(IDW_RECORD_END);
        limitTimer_.stop();
        window_.HideRecordCounter();
        return;
    }
    if (seconds_ == timeLimit_) {
        limitTimer_.start(500);
        // The time is up: the recording ends here, the stream running on, and the window
        // shows the preview's state again.
        EndRecording();
        window_.SetRecordingLatches(false);
        window_.Engine().StartPreview();
    }
    if (!window_.IsFullScreen()) window_.ShowRecordCounter(seconds_, FramesDropped());
}

void CRecordingControl::OnQuickTick()
{
    ++seconds_;
    if (!window_.IsFullScreen()) window_.ShowRecordCounter(seconds_, FramesDropped());
}

void CRecordingControl::OnWriteFailed(const QString& reason)
{
    if (!IsRecording()) return;
    // A full disk or a write error ends the recording; the file keeps what was written.
    limitTimer_.stop();
    quickTimer_.stop();
    StopAndClose();
    ShowMessageBox(&window_.HostWidget(),
                   LangText("RecordWriteFail", 100, "The recording could not be written on:") + QLatin1Char('\n') +
                       reason,
                   QStringLiteral("AVI Capture"), MessageButtons::Ok, MessageIcon::Error);
}
