#pragma once
// How far one picture lies shifted against another, by phase correlation: the spectra of the
// two are multiplied (one conjugated), whitened and transformed back, and a pure shift gives
// one sharp peak there. The peak's height says how well the pictures match; the highest peak
// elsewhere says whether another shift would match nearly as well (an ambiguous match: a
// blank area, a repeating pattern).

#include <opencv2/core.hpp>

#include <vector>

struct PhaseMatch {
    // Content at p in the second picture lies at p + shift in the first.
    cv::Point2d shift;
    double peak = 0;     // 1 for a picture matched with itself, near 0 for unrelated ones
    double runnerUp = 0; // the highest peak away from the match

    // A match to rely on: a clear peak, well above every other.
    bool Strong() const { return peak >= kMinPeak && peak >= kMinPeakRatio * runnerUp; }
    static constexpr double kMinPeak = 0.045;
    static constexpr double kMinPeakRatio = 2.5;
};

// A grey picture made ready for matching: its mean taken out, windowed (so its borders do
// not match each other), padded to a fast transform size and transformed.
class CorrelationSpectrum {
public:
    // How the picture fades out at its borders: over its whole width (Hann: the middle
    // counts most, right for pictures that mostly overlap), or only in a narrow band at the
    // edges (the borders count too: pictures that overlap by a fifth match there).
    enum class Taper { Whole, Edges };
    CorrelationSpectrum() = default;
    explicit CorrelationSpectrum(const cv::Mat& grey, Taper taper = Taper::Whole); // CV_8U or CV_32F, one channel
    bool Empty() const { return spectrum_.empty(); }
    cv::Size Size() const { return size_; }

private:
    friend cv::Mat CorrelationSurface(const CorrelationSpectrum& first, const CorrelationSpectrum& second);
    cv::Mat spectrum_; // CV_32FC2, padded
    cv::Size size_;    // the picture's own size
};

// The shift of `second` against `first` (pictures of one size; shifts beyond half the size
// wrap around and cannot be told apart).
PhaseMatch Correlate(const CorrelationSpectrum& first, const CorrelationSpectrum& second);

// The correlation surface itself (CV_32F, the padded transform's size; empty when the
// spectra do not fit): a shift d shows as a peak at d modulo that size.
cv::Mat CorrelationSurface(const CorrelationSpectrum& first, const CorrelationSpectrum& second);

// The `count` highest peaks of a surface, highest first, each at its weighted centre (in
// [0, size)) with its height; peaks closer than a few pixels count as one.
struct SurfacePeak {
    cv::Point2d at;
    double height;
};
std::vector<SurfacePeak> HighestPeaks(cv::Mat surface, int count);
