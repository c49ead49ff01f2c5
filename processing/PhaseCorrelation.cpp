#include "processing/PhaseCorrelation.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

// The peak's height summed over the 3 x 3 around it (the whole of it for a shift between
// pixels), with its weighted centre for the shift's fraction of a pixel.
double PeakAround(const cv::Mat& surface, cv::Point at, cv::Point2d* centre)
{
    double sum = 0, sx = 0, sy = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const int x = (at.x + dx + surface.cols) % surface.cols;
            const int y = (at.y + dy + surface.rows) % surface.rows;
            const double value = std::max(0.0f, surface.at<float>(y, x));
            sum += value;
            sx += value * dx;
            sy += value * dy;
        }
    if (centre) *centre = sum > 0 ? cv::Point2d(at.x + sx / sum, at.y + sy / sum) : cv::Point2d(at);
    return sum;
}

cv::Mat HannWindow(cv::Size size)
{
    cv::Mat window;
    cv::createHanningWindow(window, size, CV_32F);
    return window;
}

// One at the middle, falling as a half cosine to nothing over the outer 32nd of each side.
cv::Mat EdgeTaper(cv::Size size)
{
    auto profile = [](int length) {
        std::vector<float> values(static_cast<std::size_t>(length), 1.0f);
        const int band = std::max(1, length / 32);
        for (int i = 0; i < band; ++i) {
            const auto value = static_cast<float>(0.5 - 0.5 * std::cos(CV_PI * (i + 0.5) / band));
            values[static_cast<std::size_t>(i)] = values[static_cast<std::size_t>(length - 1 - i)] = value;
        }
        return values;
    };
    const std::vector<float> across = profile(size.width), down = profile(size.height);
    cv::Mat window(size, CV_32F);
    for (int y = 0; y < size.height; ++y) {
        auto* row = window.ptr<float>(y);
        for (int x = 0; x < size.width; ++x)
            row[x] = across[static_cast<std::size_t>(x)] * down[static_cast<std::size_t>(y)];
    }
    return window;
}

// Clears the surface around a peak (wrapping round), so the next highest can be found.
void ClearAround(cv::Mat& surface, cv::Point at, int apart)
{
    for (int dy = -apart; dy <= apart; ++dy)
        for (int dx = -apart; dx <= apart; ++dx)
            surface.at<float>((at.y + dy + surface.rows) % surface.rows, (at.x + dx + surface.cols) % surface.cols) = 0;
}

constexpr int kPeaksApart = 4;

} // namespace

CorrelationSpectrum::CorrelationSpectrum(const cv::Mat& grey, Taper taper) : size_(grey.size())
{
    if (grey.empty()) return;
    cv::Mat picture;
    grey.convertTo(picture, CV_32F);
    picture -= cv::mean(picture)[0];
    picture = picture.mul(taper == Taper::Whole ? HannWindow(picture.size()) : EdgeTaper(picture.size()));
    const int rows = cv::getOptimalDFTSize(picture.rows), cols = cv::getOptimalDFTSize(picture.cols);
    cv::copyMakeBorder(picture, picture, 0, rows - picture.rows, 0, cols - picture.cols, cv::BORDER_CONSTANT, 0);
    cv::dft(picture, spectrum_, cv::DFT_COMPLEX_OUTPUT);
}

cv::Mat CorrelationSurface(const CorrelationSpectrum& first, const CorrelationSpectrum& second)
{
    if (first.Empty() || second.Empty() || first.spectrum_.size() != second.spectrum_.size()) return {};
    cv::Mat product;
    cv::mulSpectrums(first.spectrum_, second.spectrum_, product, 0, true);
    // Whitened: only the phase says where the pictures match.
    for (int y = 0; y < product.rows; ++y) {
        auto* row = product.ptr<cv::Vec2f>(y);
        for (int x = 0; x < product.cols; ++x) {
            const float magnitude = std::hypot(row[x][0], row[x][1]);
            row[x] = magnitude > 1e-12f ? row[x] / magnitude : cv::Vec2f(0, 0);
        }
    }
    cv::Mat surface;
    cv::idft(product, surface, cv::DFT_REAL_OUTPUT | cv::DFT_SCALE);
    return surface;
}

std::vector<SurfacePeak> HighestPeaks(cv::Mat surface, int count)
{
    std::vector<SurfacePeak> peaks;
    for (int i = 0; i < count && !surface.empty(); ++i) {
        cv::Point best;
        cv::minMaxLoc(surface, nullptr, nullptr, nullptr, &best);
        SurfacePeak peak;
        peak.height = PeakAround(surface, best, &peak.at);
        if (peak.height <= 0) break;
        peak.at.x = std::fmod(peak.at.x + surface.cols, surface.cols);
        peak.at.y = std::fmod(peak.at.y + surface.rows, surface.rows);
        peaks.push_back(peak);
        ClearAround(surface, best, kPeaksApart);
    }
    return peaks;
}

PhaseMatch Correlate(const CorrelationSpectrum& first, const CorrelationSpectrum& second)
{
    PhaseMatch match;
    cv::Mat surface = CorrelationSurface(first, second);
    if (surface.empty()) return match;
    cv::Point best;
    cv::minMaxLoc(surface, nullptr, nullptr, nullptr, &best);
    cv::Point2d centre;
    match.peak = PeakAround(surface, best, &centre);
    // Beyond half the size the shift is the other way round.
    match.shift.x = centre.x > surface.cols / 2.0 ? centre.x - surface.cols : centre.x;
    match.shift.y = centre.y > surface.rows / 2.0 ? centre.y - surface.rows : centre.y;

    // The runner-up: the highest peak at least a few pixels away (wrapping round).
    ClearAround(surface, best, kPeaksApart);
    cv::Point other;
    cv::minMaxLoc(surface, nullptr, nullptr, nullptr, &other);
    match.runnerUp = PeakAround(surface, other, nullptr);
    return match;
}
