#pragma once
// How sharp the live picture is: the variance of the Laplacian of a reduced grey copy of
// each frame (large when edges are crisp, small when blurred), with the best value seen
// since the scene last changed, for a focus bar. Optionally it also marks where the
// sharpest edges are, for focus peaking over the preview.

#include "capture/FrameStage.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// Where the sharpest edges of the last frame are, on a reduced grid (1: an edge).
struct PeakingMask {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> marks;
};

class FocusMeter : public FrameStep {
public:
    // The reduced copy is this wide (its height keeps the frame's shape).
    static constexpr int kReducedWidth = 320;
    // Frames closer together than this (by their capture time) are not measured: a bar
    // the eye follows needs no more than fifteen readings a second.
    static constexpr double kMinInterval = 1.0 / 16;

    void Process(Frame& frame) override;

    // Any thread.
    double Sharpness() const { return sharpness_; }
    double Best() const { return best_; }
    std::uint64_t Measured() const { return measured_; }
    // The last frame measured had no detail to judge (clear glass, an empty field): its
    // sharpness says nothing.
    bool NothingToJudge() const { return nothingToJudge_; }
    void SetEnabled(bool on) { enabled_ = on; }
    bool Enabled() const { return enabled_; }
    void SetPeaking(bool on) { peaking_ = on; }
    bool Peaking() const { return peaking_; }
    std::shared_ptr<const PeakingMask> Mask() const;
    // Forgets the best value (the user moved to another field, or changed the camera).
    void ResetBest() { resetRequested_ = true; }

    // The measure itself, for a grey picture of any size.
    static double LaplacianVariance(const std::uint8_t* grey, int width, int height, std::size_t stride);

private:
    std::atomic<bool> enabled_{true};
    std::atomic<bool> peaking_{false};
    std::atomic<bool> resetRequested_{false};
    std::atomic<double> sharpness_{0};
    std::atomic<double> best_{0};
    std::atomic<std::uint64_t> measured_{0};
    std::atomic<bool> nothingToJudge_{false};
    // The stage's worker only: what the scene looked like, to notice it change.
    double sceneBrightness_ = -1;
    double lastMeasured_ = -1;
    int sceneWidth_ = 0, sceneHeight_ = 0;

    mutable std::mutex maskMutex_; // guards mask_
    std::shared_ptr<const PeakingMask> mask_;
};
