#pragma once
// Even light across the field. A reference taken on an empty slide (the mean of several
// frames, smoothed) shows how the lamp and the optics light each pixel; an optional dark
// frame (lamp off or lens capped) shows what the sensor gives without light. Every frame is
// then corrected per colour channel:
//     corrected = (frame - dark) * mean(reference - dark) / (reference - dark)
// so a blank field comes out even at the brightness it had on average.

#include "capture/FrameStage.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// A reference as it is kept: per pixel and channel, float BGR, the frame's size.
struct FlatFieldReference {
    int width = 0;
    int height = 0;
    std::vector<float> white; // width * height * 3
    std::vector<float> dark;  // empty: no dark frame (0)
    bool Matches(const Frame& frame) const { return frame.width == width && frame.height == height; }
};

// Averages frames for a reference, then smooths it. Plain; any thread that owns it.
class ReferenceAccumulator {
public:
    explicit ReferenceAccumulator(int frames) : wanted_(frames) {}
    // True once enough frames were added (frames of another size start it again).
    bool Add(const Frame& frame);
    // The mean of the frames added, smoothed when `smooth` (the white reference), BGR floats.
    std::vector<float> Mean(bool smooth) const;
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    int wanted_;
    int added_ = 0;
    int width_ = 0, height_ = 0;
    std::vector<float> sum_;
};

class FlatFieldCorrection : public FrameStep {
public:
    enum class Capture { White, Dark };

    // Window thread. The reference in force (none: frames pass unchanged). A reference of
    // another size than the frames leaves them unchanged too.
    void SetReference(std::optional<FlatFieldReference> reference);
    std::optional<FlatFieldReference> Reference() const;
    void SetEnabled(bool on) { enabled_ = on; }
    bool Enabled() const { return enabled_; }
    // Takes the next `frames` frames as a white reference or a dark frame; `done` runs on
    // the stage's worker with the new reference (the dark frame joins the white one in force).
    void StartCapture(Capture what, int frames, std::function<void(const FlatFieldReference&)> done);
    bool Capturing() const;

    void Process(Frame& frame) override;

private:
    struct Gains {
        int width = 0, height = 0;
        std::vector<std::uint16_t> gain; // per pixel and channel, 10 fractional bits
        std::vector<std::uint8_t> dark;  // per pixel and channel; empty without a dark frame
    };
    static std::shared_ptr<const Gains> MakeGains(const FlatFieldReference& reference);

    mutable std::mutex mutex_; // guards reference_, gains_ and the capture below
    std::optional<FlatFieldReference> reference_;
    std::shared_ptr<const Gains> gains_;
    std::optional<Capture> capturing_;
    std::unique_ptr<ReferenceAccumulator> accumulator_;
    std::function<void(const FlatFieldReference&)> done_;
    std::atomic<bool> enabled_{true};
};

// Applies gains to a frame in place; `dark` may be null (exposed for the benchmark and tests).
void ApplyFlatField(Frame& frame, const std::uint16_t* gain, const std::uint8_t* dark);
