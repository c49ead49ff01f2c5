#pragma once
// One AVI recording of the live stream. The processing stage's worker only queues each
// processed frame (shared, not copied) in a small bounded queue; a writer thread of the
// recording's own places the frames in the file's slots at its nominal rate by their
// capture time and writes them (encoded, or the camera's own Motion JPEG bytes as they
// are), so writing never holds up the camera. A frame the writer has no room for, or a
// camera frame that is not whole, is dropped and counted. Whatever ends the recording, the
// file gets its index.

#include "framework/Frame.h"
#include "framework/HandOff.h"
#include "media/AviWriter.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class RecordingSource;

class CAviRecording : public QObject {
    Q_OBJECT
public:
    // Frames waiting for the encoder at most.
    static constexpr std::size_t kQueuedFrames = 3;

    explicit CAviRecording(RecordingSource& source, QObject* parent = nullptr);
    ~CAviRecording() override;

    // Opens `path` at the source's capture size and starts taking frames. On failure the
    // step and the reason come back and nothing runs.
    AviWriter::OpenResult Open(const QString& path, FrameRate nominalRate, const VideoEncoderChoice& encoder);
    // Stops taking frames, writes what is queued and the index, closes the file. Nothing
    // happens when none is open. True when the file was finished without an error.
    bool Close();

    bool IsOpen() const { return writer_ != nullptr; }
    QString Path() const { return path_; }
    std::int64_t FramesWritten() const { return framesWritten_; }
    std::int64_t FramesDropped()
    {
        std::lock_guard lock(mutex_);
        return framesDropped_;
    }

signals:
    // The file could not be written any more (a full disk): the recording should end.
    void WriteFailed(const QString& reason);

protected:
    bool event(QEvent* event) override;

private:
    struct Queued {
        double time = 0; // when it was captured, on the steady clock
        SharedFrame frame;
    };

    void Offer(const SharedFrame& frame); // the processing stage's worker
    void EncodeLoop();                    // encoder thread
    bool Write(const Queued& queued);

    RecordingSource& source_;
    std::unique_ptr<AviWriter> writer_; // used by the encoder thread while it runs
    QString path_;
    FrameRate nominalRate_;

    std::mutex mutex_; // guards queue_, spare_, stopping_ and framesDropped_
    std::condition_variable wake_;
    std::deque<Queued> queue_; // processed frames, shared with the preview: never copied
    bool stopping_ = false;
    std::int64_t framesDropped_ = 0;
    std::thread encoder_;

    // Encoder thread only.
    std::int64_t nextSlot_ = 0;
    double firstTime_ = 0;
    bool writeFailed_ = false;
    std::vector<std::uint8_t> stored_; // the camera's frame as stored, with its tables
    std::atomic<std::int64_t> framesWritten_{0};

    HandOff<QString> failures_{this, 1}; // from the encoder thread
};
