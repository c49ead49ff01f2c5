#include "processing/FlatField.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kGainBits = 10;
constexpr float kGainOne = 1 << kGainBits;
// Gains are capped: a reference pixel this much darker than the mean is dead, not dim.
constexpr float kMaxGain = 16.0f;
} // namespace

bool ReferenceAccumulator::Add(const Frame& frame)
{
    if (frame.Empty()) return false;
    if (frame.width != width_ || frame.height != height_) {
        width_ = frame.width;
        height_ = frame.height;
        sum_.assign(static_cast<std::size_t>(width_) * height_ * 3, 0.0f);
        added_ = 0;
    }
    const cv::Mat pixels(frame.height, frame.width, CV_8UC3, const_cast<std::uint8_t*>(frame.pixels.data()),
                         frame.stride);
    cv::Mat sum(height_, width_, CV_32FC3, sum_.data());
    cv::accumulate(pixels, sum);
    return ++added_ >= wanted_;
}

std::vector<float> ReferenceAccumulator::Mean(bool smooth) const
{
    std::vector<float> mean(sum_.size());
    if (added_ == 0) return mean;
    const cv::Mat sum(height_, width_, CV_32FC3, const_cast<float*>(sum_.data()));
    cv::Mat out(height_, width_, CV_32FC3, mean.data());
    sum.convertTo(out, CV_32FC3, 1.0 / added_);
    // Smoothed over a few pixels: the lamp's shape stays, the sensor's noise goes.
    if (smooth) cv::GaussianBlur(out, out, cv::Size(0, 0), 2.0);
    return mean;
}

void FlatFieldCorrection::SetReference(std::optional<FlatFieldReference> reference)
{
    std::shared_ptr<const Gains> gains = reference ? MakeGains(*reference) : nullptr;
    std::lock_guard lock(mutex_);
    reference_ = std::move(reference);
    gains_ = std::move(gains);
}

std::optional<FlatFieldReference> FlatFieldCorrection::Reference() const
{
    std::lock_guard lock(mutex_);
    return reference_;
}

void FlatFieldCorrection::StartCapture(Capture what, int frames, std::function<void(const FlatFieldReference&)> done)
{
    std::lock_guard lock(mutex_);
    capturing_ = what;
    accumulator_ = std::make_unique<ReferenceAccumulator>(std::max(1, frames));
    done_ = std::move(done);
}

bool FlatFieldCorrection::Capturing() const
{
    std::lock_guard lock(mutex_);
    return capturing_.has_value();
}

std::shared_ptr<const FlatFieldCorrection::Gains> FlatFieldCorrection::MakeGains(const FlatFieldReference& reference)
{
    const std::size_t count = static_cast<std::size_t>(reference.width) * reference.height * 3;
    if (reference.white.size() != count || (!reference.dark.empty() && reference.dark.size() != count)) return nullptr;
    auto gains = std::make_shared<Gains>();
    gains->width = reference.width;
    gains->height = reference.height;
    gains->gain.resize(count);
    if (!reference.dark.empty()) gains->dark.assign(count, 0);
    // The mean of (reference - dark) per channel: the brightness the field is evened to.
    double mean[3] = {0, 0, 0};
    for (std::size_t i = 0; i < count; ++i) {
        const float dark = reference.dark.empty() ? 0.0f : reference.dark[i];
        mean[i % 3] += std::max(0.0f, reference.white[i] - dark);
    }
    for (double& m : mean) m /= static_cast<double>(count / 3);
    for (std::size_t i = 0; i < count; ++i) {
        const float dark = reference.dark.empty() ? 0.0f : reference.dark[i];
        const float lit = std::max(reference.white[i] - dark, 0.5f);
        const float gain = std::min(static_cast<float>(mean[i % 3]) / lit, kMaxGain);
        gains->gain[i] = static_cast<std::uint16_t>(std::lround(std::min(gain * kGainOne, 65535.0f)));
        if (!gains->dark.empty()) gains->dark[i] = static_cast<std::uint8_t>(std::clamp(std::lround(dark), 0L, 255L));
    }
    return gains;
}

void ApplyFlatField(Frame& frame, const std::uint16_t* gain, const std::uint8_t* dark)
{
    // Written so the compiler turns each row into vector code: no branches, fixed widths.
    const std::size_t rowValues = static_cast<std::size_t>(frame.width) * 3;
    if (!dark) { // no dark frame: the gain alone
        for (int y = 0; y < frame.height; ++y) {
            std::uint8_t* row = frame.Row(y);
            const std::uint16_t* g = gain + rowValues * static_cast<std::size_t>(y);
            for (std::size_t i = 0; i < rowValues; ++i) {
                const std::uint32_t corrected =
                    (row[i] * static_cast<std::uint32_t>(g[i]) + (1u << (kGainBits - 1))) >> kGainBits;
                row[i] = static_cast<std::uint8_t>(corrected > 255u ? 255u : corrected);
            }
        }
        return;
    }
    for (int y = 0; y < frame.height; ++y) {
        std::uint8_t* row = frame.Row(y);
        const std::uint16_t* g = gain + rowValues * static_cast<std::size_t>(y);
        const std::uint8_t* d = dark + rowValues * static_cast<std::size_t>(y);
        for (std::size_t i = 0; i < rowValues; ++i) {
            const std::uint32_t value = row[i];
            const std::uint32_t lit = value > d[i] ? value - d[i] : 0u;
            const std::uint32_t corrected = (lit * g[i] + (1u << (kGainBits - 1))) >> kGainBits;
            row[i] = static_cast<std::uint8_t>(corrected > 255u ? 255u : corrected);
        }
    }
}

void FlatFieldCorrection::Process(Frame& frame)
{
    std::shared_ptr<const Gains> gains;
    {
        std::unique_lock lock(mutex_);
        if (capturing_ && accumulator_) {
            // A reference is taken from the frames as the camera gives them, not corrected.
            if (accumulator_->Add(frame)) {
                FlatFieldReference taken;
                taken.width = accumulator_->Width();
                taken.height = accumulator_->Height();
                if (*capturing_ == Capture::White) {
                    taken.white = accumulator_->Mean(true);
                    if (reference_ && reference_->width == taken.width && reference_->height == taken.height)
                        taken.dark = reference_->dark;
                } else {
                    taken.dark = accumulator_->Mean(false);
                    if (reference_ && reference_->width == taken.width && reference_->height == taken.height)
                        taken.white = reference_->white;
                }
                capturing_.reset();
                accumulator_.reset();
                auto done = std::move(done_);
                lock.unlock();
                if (done) done(taken);
            }
            return;
        }
        gains = gains_;
    }
    if (!enabled_ || !gains || gains->width != frame.width || gains->height != frame.height) return;
    ApplyFlatField(frame, gains->gain.data(), gains->dark.empty() ? nullptr : gains->dark.data());
}
