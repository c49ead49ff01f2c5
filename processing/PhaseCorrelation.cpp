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

} // namespace

CorrelationSpectrum::CorrelationSpectrum(const cv::Mat& grey) : size_(grey.size())
{
    if (grey.empty()) return;
    cv::Mat picture;
    grey.convertTo(picture, CV_32F);
    picture -= cv::mean(picture)[0];
    cv::Mat window;
    cv::createHanningWindow(window, picture.size(), CV_32F);
    picture = picture.mul(window);
    const int rows = cv::getOptimalDFTSize(picture.rows), cols = cv::getOptimalDFTSize(picture.cols);
    cv::copyMakeBorder(picture, picture, 0, rows - picture.rows, 0, cols - picture.cols, cv::BORDER_CONSTANT, 0);
    cv::dft(picture, spectrum_, cv::DFT_COMPLEX_OUTPUT);
}

PhaseMatch Correlate(const CorrelationSpectrum& first, const CorrelationSpectrum& second)
{
    PhaseMatch match;
    if (first.Empty() || second.Empty() || first.spectrum_.size() != second.spectrum_.size()) return match;
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

    cv::Point best;
    cv::minMaxLoc(surface, nullptr, nullptr, nullptr, &best);
    cv::Point2d centre;
    match.peak = PeakAround(surface, best, &centre);
    // Beyond half the size the shift is the other way round.
    match.shift.x = centre.x > surface.cols / 2.0 ? centre.x - surface.cols : centre.x;
    match.shift.y = centre.y > surface.rows / 2.0 ? centre.y - surface.rows : centre.y;

    // The runner-up: the highest peak at least a few pixels away (wrapping round).
    constexpr int kApart = 4;
    for (int dy = -kApart; dy <= kApart; ++dy)
        for (int dx = -kApart; dx <= kApart; ++dx)
            surface.at<float>((best.y + dy + surface.rows) % surface.rows, (best.x + dx + surface.cols) % surface.cols) = 0;
    cv::Point other;
    cv::minMaxLoc(surface, nullptr, nullptr, nullptr, &other);
    match.runnerUp = PeakAround(surface, other, nullptr);
    return match;
}
