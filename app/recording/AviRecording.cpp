#include "app/recording/AviRecording.h"

#include "capture/FrameDelivery.h"
#include "framework/Logging.h"
#include "media/MotionJpeg.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <pthread.h>

CAviRecording::CAviRecording(RecordingSource& source, QObject* parent) : QObject(parent), source_(source) {}

CAviRecording::~CAviRecording()
{
    Close();
}

AviWriter::OpenResult CAviRecording::Open(const QString& path, FrameRate nominalRate, const VideoEncoderChoice& encoder)
{
    Close();
    const QSize size = source_.CaptureSize();
    AviWriter::OpenResult opened = AviWriter::Open(path, size.width(), size.height(), nominalRate, encoder);
    if (!opened.writer) return opened;
    writer_ = std::move(opened.writer);
    path_ = path;
    nominalRate_ = nominalRate;
    nextSlot_ = 0;
    framesWritten_ = 0;
    writeFailed_ = false;
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
        framesDropped_ = 0;
        queue_.clear();
    }
    encoder_ = std::thread([this] { EncodeLoop(); });
    source_.SetRecordingTap([this](const SharedFrame& frame) { Offer(frame); });
    qCInfo(lcMedia) << "recording" << path << size << "at" << nominalRate_.PerSecond() << "frames a second"
                    << (encoder.passthrough ? QStringLiteral("as the camera's Motion JPEG")
                                            : QString::fromStdString(encoder.encoder));
    return opened;
}

bool CAviRecording::Close()
{
    if (!writer_) return true;
    // After this no frame comes any more (a call running now has finished).
    source_.SetRecordingTap(nullptr);
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (encoder_.joinable()) encoder_.join();
    const bool finished = writer_->Close() && !writeFailed_;
    qCInfo(lcMedia) << "recording" << path_ << "ended:" << framesWritten_ << "frames written," << framesDropped_
                    << "dropped for want of encoder time";
    writer_.reset();
    failures_.Clear();
    return finished;
}

void CAviRecording::Offer(const SharedFrame& frame)
{
    // Placed by when the camera's thread took the frame, on a clock that runs on whatever the
    // stream does: a restarted stream starts its own time stamps again at 0.
    const double time =
        frame->captured > 0
            ? frame->captured
            : std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        if (queue_.size() >= kQueuedFrames) {
            // The encoder is behind: the oldest waiting frame goes, so what is written stays
            // close to now; the pacing covers the gap.
            ++framesDropped_;
            queue_.pop_front();
        }
        queue_.push_back({time, frame});
    }
    wake_.notify_one();
}

void CAviRecording::EncodeLoop()
{
    pthread_setname_np(pthread_self(), "qrv-recorder");
    for (;;) {
        Queued queued;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return; // stopping, and everything queued was written
            queued = std::move(queue_.front());
            queue_.pop_front();
        }
        if (!writeFailed_ && !Write(queued)) {
            writeFailed_ = true;
            failures_.Post(writer_->LastError());
        }
    }
}

bool CAviRecording::Write(const Queued& queued)
{
    // Frames fill the file's slots at its nominal rate by their arrival time: a slot the
    // camera missed repeats the frame before, a frame that finds no slot of its own is
    // skipped. The file then plays as long as it was recorded.
    const Frame& frame = *queued.frame;
    if (writer_->IsPassthrough() && !CompleteMotionJpegFrame(frame.jpeg.data(), frame.jpeg.size(), stored_)) {
        // No whole JPEG of the camera's came with this frame: it cannot be stored as it is.
        std::lock_guard lock(mutex_);
        ++framesDropped_;
        return true;
    }
    if (nextSlot_ == 0) firstTime_ = queued.time;
    const auto slot = static_cast<std::int64_t>(std::llround((queued.time - firstTime_) / nominalRate_.Period()));
    if (slot < nextSlot_) return true;
    // A missed slot repeats the frame before, as a copy of its packet.
    for (; nextSlot_ < slot; ++nextSlot_, ++framesWritten_)
        if (!writer_->RepeatLastFrame()) return false;
    const bool written = writer_->IsPassthrough() ? writer_->WriteCompressedFrame(stored_.data(), stored_.size())
                                                  : writer_->WriteFrame(frame.pixels.data(), frame.Bytes());
    if (!written) return false;
    ++nextSlot_;
    ++framesWritten_;
    return true;
}

bool CAviRecording::event(QEvent* event)
{
    if (failures_.IsFor(event)) {
        for (const QString& reason : failures_.TakeAll()) emit WriteFailed(reason);
        return true;
    }
    return QObject::event(event);
}
