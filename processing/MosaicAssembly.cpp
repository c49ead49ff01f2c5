#include "processing/MosaicAssembly.h"

#include "processing/PhaseCorrelation.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

// The overlaps measured are reduced to at most this side.
constexpr int kPairSide = 512;

// The feathering weight across a picture: highest in the middle, falling to nothing at the
// edges, so that where pictures overlap each fades into the next.
cv::Mat FeatherWeights(cv::Size size)
{
    cv::Mat weights(size, CV_32F);
    for (int y = 0; y < size.height; ++y) {
        const float wy = std::min(y + 0.5f, size.height - y - 0.5f) / (size.height / 2.0f);
        auto* row = weights.ptr<float>(y);
        for (int x = 0; x < size.width; ++x)
            row[x] =
                std::max(1e-3f, wy) * std::max(1e-3f, std::min(x + 0.5f, size.width - x - 0.5f) / (size.width / 2.0f));
    }
    return weights;
}

} // namespace

cv::Mat ReducedGrey(const cv::Mat& grey, int factor)
{
    if (factor <= 1) return grey;
    cv::Mat reduced;
    cv::resize(grey, reduced, cv::Size(grey.cols / factor, grey.rows / factor), 0, 0, cv::INTER_AREA);
    return reduced;
}

bool MeasureOverlapOffset(const cv::Mat& first, const cv::Mat& second, cv::Point2d guess, cv::Point2d* measured,
                          double* peak)
{
    const cv::Point whole(static_cast<int>(std::lround(guess.x)), static_cast<int>(std::lround(guess.y)));
    const cv::Rect inFirst = cv::Rect(0, 0, first.cols, first.rows) & cv::Rect(whole, first.size());
    if (inFirst.width < kMinMosaicOverlap * first.cols || inFirst.height < kMinMosaicOverlap * first.rows) return false;
    const cv::Rect inSecond = inFirst - whole;
    const int factor = std::max(1, (std::max(inFirst.width, inFirst.height) + kPairSide - 1) / kPairSide);
    const PhaseMatch match = Correlate(CorrelationSpectrum(ReducedGrey(first(inFirst), factor)),
                                       CorrelationSpectrum(ReducedGrey(second(inSecond), factor)));
    const cv::Point2d residual = match.shift * factor;
    if (!match.Strong() || std::abs(residual.x) > first.cols / 8.0 || std::abs(residual.y) > first.rows / 8.0)
        return false;
    *measured = cv::Point2d(whole) + residual;
    *peak = match.peak;
    return true;
}

std::vector<cv::Point2d> SolveMosaicPositions(int count, const std::vector<MosaicLink>& links,
                                              std::vector<cv::Point2d> start)
{
    // Across and down are solved apart (same equations); picture 0 is fixed. A picture no
    // link reaches gets an equation of its own that keeps it where it started.
    if (count < 2) return start;
    cv::Mat normal = cv::Mat::zeros(count - 1, count - 1, CV_64F), right = cv::Mat::zeros(count - 1, 2, CV_64F);
    for (const MosaicLink& link : links) {
        const int a = link.first - 1, b = link.second - 1; // -1: the fixed first picture
        const double w = link.weight;
        const cv::Point2d fixedPart = link.first == 0 ? start[0] : link.second == 0 ? -start[0] : cv::Point2d();
        const cv::Point2d offset = link.offset + fixedPart; // what the free unknowns must make up
        if (a >= 0) normal.at<double>(a, a) += w;
        if (b >= 0) normal.at<double>(b, b) += w;
        if (a >= 0 && b >= 0) {
            normal.at<double>(a, b) -= w;
            normal.at<double>(b, a) -= w;
        }
        if (b >= 0) {
            right.at<double>(b, 0) += w * offset.x;
            right.at<double>(b, 1) += w * offset.y;
        }
        if (a >= 0) {
            right.at<double>(a, 0) -= w * offset.x;
            right.at<double>(a, 1) -= w * offset.y;
        }
    }
    for (int i = 0; i < count - 1; ++i)
        if (normal.at<double>(i, i) == 0) {
            normal.at<double>(i, i) = 1;
            right.at<double>(i, 0) = start[static_cast<std::size_t>(i + 1)].x;
            right.at<double>(i, 1) = start[static_cast<std::size_t>(i + 1)].y;
        }
    cv::Mat solved;
    if (cv::solve(normal, right, solved, cv::DECOMP_CHOLESKY))
        for (int i = 1; i < count; ++i)
            start[static_cast<std::size_t>(i)] = {solved.at<double>(i - 1, 0), solved.at<double>(i - 1, 1)};
    return start;
}

double OverlapSquares(const cv::Mat& first, const cv::Mat& second, cv::Point2d offset, double* samples)
{
    const cv::Point whole(static_cast<int>(std::floor(offset.x)), static_cast<int>(std::floor(offset.y)));
    const cv::Point2d fraction = offset - cv::Point2d(whole);
    // The second picture moved by the fraction of a pixel, then compared pixel for pixel; the
    // outermost pixels (not covered after the move) are left out.
    cv::Mat moved;
    const cv::Matx23d shift(1, 0, fraction.x, 0, 1, fraction.y);
    cv::warpAffine(second, moved, shift, second.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    cv::Rect inFirst =
        cv::Rect(0, 0, first.cols, first.rows) & cv::Rect(whole + cv::Point(1, 1), first.size() - cv::Size(2, 2));
    *samples = 0;
    if (inFirst.area() <= 0) return 0;
    const cv::Rect inSecond = inFirst - whole;
    cv::Mat a, b, difference;
    first(inFirst).convertTo(a, CV_32F);
    moved(inSecond).convertTo(b, CV_32F);
    difference = a - b;
    *samples = inFirst.area();
    return difference.dot(difference);
}

namespace {

// The sums of one band are kept in floats (three colours and a weight): about this many bytes
// at the most, whatever the mosaic's size.
constexpr qint64 kBandBytes = qint64(192) << 20;

} // namespace

qint64 BlendBytes(QSize size)
{
    // The result (three bytes a pixel) and one band's sums.
    const qint64 area = qint64(size.width()) * size.height();
    return area * 3 + std::min(kBandBytes, area * 16);
}

BlendedMosaic BlendMosaic(int count, const std::function<cv::Mat(int)>& picture, cv::Size frame,
                          const std::vector<cv::Point2d>& positions, const std::vector<double>& gains, int maxSide,
                          const std::function<bool()>& progress)
{
    BlendedMosaic blended;
    if (count <= 0 || positions.size() != static_cast<std::size_t>(count)) return blended;
    cv::Point2d low = positions.front(), high = positions.front();
    for (const cv::Point2d& p : positions) {
        low = {std::min(low.x, p.x), std::min(low.y, p.y)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y)};
    }
    // (A picture a hair above or left of the others does not earn the mosaic a row of its own.)
    const cv::Point2d origin(std::floor(low.x + 0.1), std::floor(low.y + 0.1));
    const cv::Size size(static_cast<int>(std::ceil(high.x - origin.x + frame.width - 0.1)),
                        static_cast<int>(std::ceil(high.y - origin.y + frame.height - 0.1)));
    if (size.width > maxSide || size.height > maxSide) return blended;
    QImage result(size.width, size.height, QImage::Format_RGB888);
    if (result.isNull()) return blended;

    // Each picture moved to its place (to a fraction of a pixel) and added with its feathering
    // weight; the sums divided by the weights. Uncovered background stays black.
    const cv::Mat feather = FeatherWeights(frame);
    cv::Mat feather3;
    cv::merge(std::vector<cv::Mat>{feather, feather, feather}, feather3);
    const cv::Size placed(frame.width + 1, frame.height + 1);
    const int bandRows = static_cast<int>(std::clamp<qint64>(kBandBytes / (qint64(size.width) * 16), 1, size.height));
    cv::Mat sums(bandRows, size.width, CV_32FC3), weights(bandRows, size.width, CV_32F);
    for (int top = 0; top < size.height; top += bandRows) {
        const cv::Rect band(0, top, size.width, std::min(bandRows, size.height - top));
        sums.setTo(cv::Scalar::all(0));
        weights.setTo(cv::Scalar(0));
        for (int i = 0; i < count; ++i) {
            const cv::Point2d offset = positions[static_cast<std::size_t>(i)] - origin;
            const cv::Point whole(static_cast<int>(std::floor(offset.x)), static_cast<int>(std::floor(offset.y)));
            const cv::Rect target = cv::Rect(whole, placed) & band;
            if (target.empty()) continue;
            const cv::Mat bgr = picture(i);
            if (bgr.empty() || bgr.size() != frame) return {};
            const cv::Matx23d shift(1, 0, offset.x - whole.x, 0, 1, offset.y - whole.y);
            cv::Mat colour, movedColour, movedWeight;
            bgr.convertTo(colour, CV_32FC3,
                          static_cast<std::size_t>(i) < gains.size() ? gains[static_cast<std::size_t>(i)] : 1.0);
            const cv::Mat weighted = colour.mul(feather3);
            cv::warpAffine(weighted, movedColour, shift, placed, cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                           cv::Scalar::all(0));
            cv::warpAffine(feather, movedWeight, shift, placed, cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0));
            // A picture between pixels reaches one pixel further, beyond the mosaic's last one.
            const cv::Rect own(target.tl() - whole, target.size());
            const cv::Rect inBand(target.tl() - band.tl(), target.size());
            sums(inBand) += movedColour(own);
            weights(inBand) += movedWeight(own);
            if (progress && !progress()) return {};
        }
        for (int y = 0; y < band.height; ++y) {
            const auto* sum = sums.ptr<cv::Vec3f>(y);
            const float* weight = weights.ptr<float>(y);
            uchar* out = result.scanLine(top + y);
            for (int x = 0; x < size.width; ++x, out += 3) {
                if (weight[x] < 1e-8f) {
                    out[0] = out[1] = out[2] = 0;
                    continue;
                }
                const cv::Vec3f c = sum[x] / weight[x];
                out[0] = static_cast<uchar>(std::clamp(static_cast<int>(c[2] + 0.5f), 0, 255)); // RGB from BGR
                out[1] = static_cast<uchar>(std::clamp(static_cast<int>(c[1] + 0.5f), 0, 255));
                out[2] = static_cast<uchar>(std::clamp(static_cast<int>(c[0] + 0.5f), 0, 255));
            }
        }
    }
    blended.picture = result;
    for (const cv::Point2d& p : positions) blended.positions.emplace_back(p.x - origin.x, p.y - origin.y);
    return blended;
}
