#include "processing/FocusMeter.h"

#include "processing/Detail.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {
// A change of mean brightness this large means another scene: the best value starts again.
constexpr double kSceneChange = 0.15;
// Edges marked for peaking: this share of the reduced picture's strongest responses.
constexpr double kPeakingShare = 0.03;
} // namespace

double FocusMeter::LaplacianVariance(const std::uint8_t* grey, int width, int height, std::size_t stride)
{
    if (!grey || width < 3 || height < 3) return 0;
    const cv::Mat picture(height, width, CV_8UC1, const_cast<std::uint8_t*>(grey), stride);
    cv::Mat laplacian;
    cv::Laplacian(picture, laplacian, CV_32F);
    cv::Scalar mean, deviation;
    cv::meanStdDev(laplacian, mean, deviation);
    return deviation[0] * deviation[0];
}

namespace {

// The frame reduced by a whole factor and turned grey in one pass: each grey pixel the mean
// of a factor x factor block, weighted (B + 2G + R) / 4.
cv::Mat ReducedGrey(const Frame& frame, int factor)
{
    const int width = frame.width / factor, height = frame.height / factor;
    cv::Mat grey(height, width, CV_8UC1);
    std::vector<std::uint32_t> sums(static_cast<std::size_t>(width));
    const std::uint32_t divisor = static_cast<std::uint32_t>(factor * factor * 4);
    for (int y = 0; y < height; ++y) {
        std::fill(sums.begin(), sums.end(), 0u);
        for (int r = 0; r < factor; ++r) {
            const std::uint8_t* row = frame.Row(y * factor + r);
            for (int x = 0; x < width; ++x) {
                std::uint32_t sum = 0;
                const std::uint8_t* p = row + static_cast<std::size_t>(x) * factor * 3;
                for (int k = 0; k < factor; ++k, p += 3) sum += p[0] + 2u * p[1] + p[2];
                sums[static_cast<std::size_t>(x)] += sum;
            }
        }
        std::uint8_t* out = grey.ptr<std::uint8_t>(y);
        for (int x = 0; x < width; ++x) out[x] = static_cast<std::uint8_t>(sums[static_cast<std::size_t>(x)] / divisor);
    }
    return grey;
}

} // namespace

void FocusMeter::Process(Frame& frame)
{
    if (!enabled_ || frame.Empty()) return;
    // A stream that starts again counts its time from 0: that frame is measured too.
    if (lastMeasured_ >= 0 && frame.time >= lastMeasured_ && frame.time - lastMeasured_ < kMinInterval) return;
    lastMeasured_ = frame.time;
    cv::Mat grey;
    if (frame.width >= kReducedWidth && frame.width % kReducedWidth == 0) {
        grey = ReducedGrey(frame, frame.width / kReducedWidth); // the capture sizes: a whole factor
    } else {
        const cv::Mat pixels(frame.height, frame.width, CV_8UC3, frame.pixels.data(), frame.stride);
        const int width = std::min(kReducedWidth, frame.width);
        const int height =
            std::max(1, static_cast<int>(std::lround(static_cast<double>(frame.height) * width / frame.width)));
        cv::Mat reduced;
        cv::resize(pixels, reduced, cv::Size(width, height), 0, 0, cv::INTER_AREA);
        cv::cvtColor(reduced, grey, cv::COLOR_BGR2GRAY);
    }
    const double value = LaplacianVariance(grey.data, grey.cols, grey.rows, grey.step);
    nothingToJudge_ = HasNoDetail(grey);

    const double brightness = cv::mean(grey)[0];
    const bool newScene = resetRequested_.exchange(false) || frame.width != sceneWidth_ ||
                          frame.height != sceneHeight_ || sceneBrightness_ < 0 ||
                          std::abs(brightness - sceneBrightness_) > kSceneChange * std::max(sceneBrightness_, 1.0);
    if (newScene) {
        sceneBrightness_ = brightness;
        sceneWidth_ = frame.width;
        sceneHeight_ = frame.height;
        best_ = value;
    } else {
        best_ = std::max(best_.load(), value);
    }
    sharpness_ = value;
    ++measured_;

    if (!peaking_) return;
    cv::Mat laplacian;
    cv::Laplacian(grey, laplacian, CV_32F);
    laplacian = cv::abs(laplacian);
    // The threshold that leaves the strongest few per cent: from a histogram of responses.
    double largest = 0;
    cv::minMaxLoc(laplacian, nullptr, &largest);
    auto mask = std::make_shared<PeakingMask>();
    mask->width = laplacian.cols;
    mask->height = laplacian.rows;
    mask->marks.assign(static_cast<std::size_t>(mask->width) * mask->height, 0);
    if (largest > 0) {
        constexpr int kBins = 256;
        std::vector<int> histogram(kBins, 0);
        for (int y = 0; y < laplacian.rows; ++y) {
            const float* row = laplacian.ptr<float>(y);
            for (int x = 0; x < laplacian.cols; ++x)
                ++histogram[std::min(kBins - 1, static_cast<int>(row[x] / largest * (kBins - 1)))];
        }
        const int keep = static_cast<int>(kPeakingShare * laplacian.total());
        int bin = kBins - 1;
        for (int kept = 0; bin > 0 && kept + histogram[static_cast<std::size_t>(bin)] <= keep; --bin)
            kept += histogram[static_cast<std::size_t>(bin)];
        const float threshold = std::max(static_cast<float>((bin + 1) * largest / (kBins - 1)), 8.0f);
        for (int y = 0; y < laplacian.rows; ++y) {
            const float* row = laplacian.ptr<float>(y);
            for (int x = 0; x < laplacian.cols; ++x)
                if (row[x] >= threshold) mask->marks[static_cast<std::size_t>(y) * mask->width + x] = 1;
        }
    }
    std::lock_guard lock(maskMutex_);
    mask_ = std::move(mask);
}

std::shared_ptr<const PeakingMask> FocusMeter::Mask() const
{
    std::lock_guard lock(maskMutex_);
    return mask_;
}
