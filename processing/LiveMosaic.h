#pragma once
// A mosaic built while the user slides the sample: a processing step that, while a mosaic
// runs, hands the frames to a tracking thread of its own (the newest waiting frame wins, so
// the stream never waits) and draws over each frame a map of the mosaic so far with the
// view outlined, the number of pictures kept, and what to do when tracking is lost.

#include "capture/FrameStage.h"
#include "processing/Mosaic.h"

#include <QImage>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

class NewestFrameWorker;

class LiveMosaic : public FrameStep {
public:
    // What the map says, in the user's language.
    struct Texts {
        QString lost;        // tracking lost: go back over a covered area
        QString blank;       // nothing to follow in the view
        QString sizeLimit;   // the mosaic has reached its size limit
        QString sizeChanged; // the capture size changed: frames of the new size cannot join
    };

    LiveMosaic();
    ~LiveMosaic() override;

    // Window thread.
    void Start(Texts texts, Mosaic::Options options = {});
    // Ends the mosaic after the frame in hand and gives it (to assemble); null when it never
    // started (no frame had anything to follow).
    std::unique_ptr<Mosaic> Stop();
    void Cancel();
    bool Running() const { return running_; }
    int Pictures() const { return keys_; }
    Mosaic::LostReason Lost() const { return lost_; }
    bool AtSizeLimit() const { return atLimit_; }
    // Frames of another capture size arrived (and were refused): what there is can be saved.
    bool CaptureSizeChanged() const { return sizeChanged_; }
    bool Idle() const;

    // The processing stage's worker.
    void Process(Frame& frame) override;

private:
    void Track(const QImage& frame);
    void ShowMapIn(Frame& frame) const;
    std::unique_ptr<NewestFrameWorker> TakeWorker();

    std::atomic<bool> running_{false};
    std::atomic<int> keys_{0};
    std::atomic<Mosaic::LostReason> lost_{Mosaic::LostReason::None};
    std::atomic<bool> atLimit_{false};
    std::atomic<bool> sizeChanged_{false};
    mutable std::mutex mapMutex_; // guards map_ and texts_
    QImage map_;                  // the latest map (RGB32)
    Texts texts_;
    std::unique_ptr<Mosaic> mosaic_; // the tracking thread's while it runs
    mutable std::mutex workerMutex_; // guards worker_ between the window and the processing thread
    std::unique_ptr<NewestFrameWorker> worker_;
};
