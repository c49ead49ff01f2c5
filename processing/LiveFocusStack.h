#pragma once
// Focus stacking while the user turns the focus knob: a processing step that, while a stack
// runs, hands the frames to a stacking thread of its own (the newest waiting frame wins,
// so the stream never waits for the stack) and puts the growing all-in-focus picture in
// the frame's place, with the live frame in an inset and the number of frames counted. So
// the preview, a still and a recording all show the stack.

#include "capture/FrameStage.h"
#include "processing/HeightMap.h"

#include <QImage>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

class FocusStack;
class NewestFrameWorker;
struct WorkFrame;

class LiveFocusStack : public FrameStep {
public:
    LiveFocusStack();
    ~LiveFocusStack() override;

    // Window thread. `sizeChanged` is shown over the frames when the capture size changes
    // while the stack runs (frames of another size cannot join it; the stack so far is kept).
    void Start(const QString& sizeChanged = {});
    // Ends the stack after the frame in hand: its result, and its depth map when asked for;
    // null images when nothing was stacked.
    QImage Stop(QImage* depthMap = nullptr);
    void Cancel();
    bool Running() const { return running_; }
    // The last stack ended (until the next starts or one is cancelled): its heights (from the
    // pictures that counted, at half size), the picture at their size, and that reduction.
    bool HasLastStack() const { return lastStack_ != nullptr; }
    std::optional<HeightMap> LastHeights(const HeightScale& scale) const;
    QImage LastPicture() const;
    int LastReduction() const;
    // Frames that made some of the picture sharper.
    int Counted() const { return counted_; }
    // No frame waits for the stack and none is being stacked.
    bool Idle() const;
    // A frame of another size than the first came and was refused.
    bool CaptureSizeChanged() const { return sizeChanged_; }

    // The processing stage's worker.
    void Process(Frame& frame) override;

private:
    void Stack(const WorkFrame& frame);
    std::unique_ptr<NewestFrameWorker> TakeWorker();
    void ShowStackIn(Frame& frame, const QImage& live);

    std::atomic<bool> running_{false};
    std::atomic<int> counted_{0};
    std::atomic<bool> sizeChanged_{false};
    mutable std::mutex shownMutex_;
    QImage shown_;                          // the stack's latest result, as frames show it (BGR888)
    QString sizeChangedText_;               // guarded by shownMutex_
    std::unique_ptr<FocusStack> stack_;     // the stacking thread's while it runs
    std::unique_ptr<FocusStack> lastStack_; // the window thread's once it ended
    mutable std::mutex workerMutex_;        // guards worker_ between the window and the processing thread
    std::unique_ptr<NewestFrameWorker> worker_;
};
