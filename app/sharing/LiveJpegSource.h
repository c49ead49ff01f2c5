#pragma once
// The live picture as JPEG for every viewer: encoded once per frame for all of them, on a
// worker thread of its own, or, when the camera sends Motion JPEG and the picture is not
// corrected, the camera's own bytes, not decoded and encoded again. A frame offered while
// the worker is busy replaces the one waiting: the newest always wins and nothing queues.

#include "framework/Frame.h"
#include "framework/HandOff.h"

#include <QByteArray>
#include <QObject>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class LiveJpegSource : public QObject {
    Q_OBJECT
public:
    explicit LiveJpegSource(QObject* parent = nullptr);
    ~LiveJpegSource() override;

    // The window's thread. `cameraBytesUsable`: the frame's Motion JPEG shows what the
    // window shows (no correction changed the pixels).
    void Offer(SharedFrame frame, bool cameraBytesUsable);
    // Frames the encoder made and frames sent as the camera gave them (tests, the log).
    quint64 Encoded() const { return encoded_; }
    quint64 PassedThrough() const { return passedThrough_; }

signals:
    void FrameReady(const QByteArray& jpeg);

protected:
    bool event(QEvent* event) override;

private:
    void Work();

    std::mutex mutex_; // guards waiting_, usable_ and stopping_
    std::condition_variable wake_;
    SharedFrame waiting_;
    bool usable_ = false;
    bool stopping_ = false;
    HandOff<QByteArray> done_{this, 1};
    std::atomic<quint64> encoded_{0}; // counted on the worker
    std::atomic<quint64> passedThrough_{0};
    std::thread worker_; // last: started once everything it uses exists
};
