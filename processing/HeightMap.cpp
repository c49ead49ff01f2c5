#include "processing/HeightMap.h"

#include "processing/CvImages.h"
#include "processing/FocusStack.h"

#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>

namespace {

// The focus measure: the fine detail's energy, over a neighbourhood a little wider than the
// stacking's (a height is wanted for a patch of surface, and the peak must stand out of noise).
constexpr double kEnergySigma = 1.0;
// A pixel has a height where its sharpest picture has this many times its blurriest's energy,
// and that energy is above the sensor's noise (grey levels squared).
constexpr double kLeastPeak = 3.0;
constexpr float kNoiseEnergy = 2.0f;
// The patch (sigma, pixels) over which a focus peak must stand out to count.
constexpr double kDecisionSigma = 4.0;
// A peak at the first or last picture counts where its neighbour has at most this share of it.
constexpr float kEndPeakDrop = 3.0f;
// A second peak of the focus curve at least this share of the first makes the height ambiguous.
constexpr float kSecondPeakShare = 0.25f;
// Neighbourhood of the median that removes single wrong peaks and fills small gaps.
constexpr int kMedianRadius = 2;
// A gap is filled from its neighbours when at least this share of them have a height.
constexpr double kFillShare = 0.6;
// Pictures whose distances differ by less than this share of the stack's depth were taken at
// one position of the knob (what tells them apart is the growth's measuring error).
constexpr double kSameDistanceShare = 0.01;

cv::Mat FocusEnergy(const QImage& picture)
{
    cv::Mat bgr = BgrMatOf(picture), grey, laplacian, energy;
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    cv::Laplacian(grey, laplacian, CV_32F, 1);
    cv::multiply(laplacian, laplacian, energy);
    cv::GaussianBlur(energy, energy, cv::Size(), kEnergySigma);
    return energy;
}

// The peak of a pixel's focus curve between the levels about its sharpest (`best`), at their
// own uneven distances, and the curve's width there (0: not known). A Gaussian focus curve is
// a parabola in the logarithm: fitted by least squares over the five levels about the peak
// (three beside the stack's ends). Through three points alone the peak is drawn towards the
// sharpest level wherever the curve is not quite Gaussian: a calibration read 4 % off.
std::pair<double, double> PeakOfFocusCurve(const std::vector<double>& levels, const std::vector<const float*>& rows,
                                           int x, int best)
{
    const int count = static_cast<int>(levels.size());
    const double centre = levels[static_cast<std::size_t>(best)];
    if (best == 0 || best == count - 1) return {centre, 0};
    const int reach = best >= 2 && best <= count - 3 ? 2 : 1;
    // Sums of the powers of z (about the peak level) and of y times them.
    std::array<double, 5> powers{};
    std::array<double, 3> moments{};
    for (int k = best - reach; k <= best + reach; ++k) {
        const double z = levels[static_cast<std::size_t>(k)] - centre;
        const double y = std::log(std::max(rows[static_cast<std::size_t>(k)][x], 1e-3f));
        double p = 1;
        for (std::size_t e = 0; e < powers.size(); ++e) {
            powers[e] += p;
            if (e < moments.size()) moments[e] += p * y;
            p *= z;
        }
    }
    // y = a z^2 + b z + c
    const cv::Matx33d normal(powers[4], powers[3], powers[2], powers[3], powers[2], powers[1], powers[2], powers[1],
                             powers[0]);
    const cv::Vec3d abc = normal.solve(cv::Vec3d(moments[2], moments[1], moments[0]), cv::DECOMP_LU);
    if (!(abc[0] < 0) || !std::isfinite(abc[1])) return {centre, 0};
    const double below = levels[static_cast<std::size_t>(best - 1)], above = levels[static_cast<std::size_t>(best + 1)];
    return {std::clamp(centre - abc[1] / (2 * abc[0]), std::min(below, above), std::max(below, above)),
            std::sqrt(-1.0 / (2 * abc[0]))};
}

} // namespace

double HeightMap::KnownShare() const
{
    if (micrometres.empty()) return 0;
    const auto known = std::count_if(micrometres.begin(), micrometres.end(), [](float z) { return !std::isnan(z); });
    return static_cast<double>(known) / static_cast<double>(micrometres.size());
}

std::pair<float, float> HeightMap::Range() const
{
    float low = std::numeric_limits<float>::max(), high = std::numeric_limits<float>::lowest();
    for (const float z : micrometres)
        if (!std::isnan(z)) {
            low = std::min(low, z);
            high = std::max(high, z);
        }
    return low <= high ? std::pair{low, high} : std::pair{0.0f, 0.0f};
}

std::vector<HeightMap::ProfilePoint> HeightMap::Profile(QPointF a, QPointF b) const
{
    std::vector<ProfilePoint> points;
    const double length = std::hypot(b.x() - a.x(), b.y() - a.y());
    const int steps = std::max(1, static_cast<int>(std::ceil(length)));
    const double perPixel = micrometresPerPixel > 0 ? micrometresPerPixel : 1;
    for (int i = 0; i <= steps; ++i) {
        const QPointF p = a + (b - a) * (static_cast<double>(i) / steps);
        const int x = static_cast<int>(std::lround(p.x())), y = static_cast<int>(std::lround(p.y()));
        points.push_back({length * i / steps * perPixel, At(x, y), UncertaintyAt(x, y)});
    }
    return points;
}

std::optional<std::pair<float, float>> HeightMap::HeightNear(QPointF at, int radius) const
{
    std::vector<float> heights, uncertainties;
    const int cx = static_cast<int>(std::lround(at.x())), cy = static_cast<int>(std::lround(at.y()));
    for (int y = cy - radius; y <= cy + radius; ++y)
        for (int x = cx - radius; x <= cx + radius; ++x)
            if (Known(x, y)) {
                heights.push_back(At(x, y));
                uncertainties.push_back(UncertaintyAt(x, y));
            }
    if (heights.size() < 3) return std::nullopt;
    // Each its own median: the uncertainty of the one pixel whose height is the median says
    // little (one with a second peak of its focus curve would speak for the whole patch).
    const auto middle = static_cast<std::ptrdiff_t>(heights.size() / 2);
    std::nth_element(heights.begin(), heights.begin() + middle, heights.end());
    std::nth_element(uncertainties.begin(), uncertainties.begin() + middle, uncertainties.end());
    return std::pair<float, float>(heights[static_cast<std::size_t>(middle)],
                                   uncertainties[static_cast<std::size_t>(middle)]);
}

QImage HeightMap::AsGrey() const
{
    QImage grey(width, height, QImage::Format_Grayscale8);
    const auto [low, high] = Range();
    const float span = std::max(1e-6f, high - low);
    for (int y = 0; y < height; ++y) {
        uchar* row = grey.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const float z = At(x, y);
            row[x] = std::isnan(z) ? 0 : static_cast<uchar>(std::clamp(32 + 223 * (z - low) / span, 32.0f, 255.0f));
        }
    }
    return grey;
}

std::optional<HeightMap> HeightsOf(const FocusStack& stack, const HeightScale& scale)
{
    // The pictures a motorised focus placed, one a position, in the order of their positions.
    std::vector<std::pair<double, int>> placed;
    for (int i = 0; i < stack.KeptCount(); ++i) {
        const double position = stack.KeptFocusPosition(i);
        if (std::isnan(position)) continue;
        if (std::none_of(placed.begin(), placed.end(), [&](const auto& p) { return p.first == position; }))
            placed.emplace_back(position, i);
    }
    std::sort(placed.begin(), placed.end());
    HeightMap map;
    // The focus curve's levels, in the order of their distances: each the pictures taken at
    // one distance. A hand holds the knob still for a few frames, and a live sweep passes
    // back: pictures at the same distance are one level (the mean of their focus measure), or
    // the curve through them would be fitted over no distance at all.
    std::vector<std::vector<int>> levels;
    if (placed.size() >= 3 && scale.micrometresPerFocusUnit != 0) {
        map.fromFocusPositions = true;
        map.nominal = scale.focusUnitNominal;
        for (const auto& [position, i] : placed) {
            levels.push_back({i});
            map.frameMicrometres.push_back((position - placed.front().first) * scale.micrometresPerFocusUnit);
        }
    } else {
        if (scale.growthPerMicrometre == 0) return std::nullopt;
        map.nominal = scale.nominal;
        // Each picture's focus distance from its growth against the first.
        std::vector<std::pair<double, int>> distances;
        for (int i = 0; i < stack.KeptCount(); ++i)
            distances.emplace_back((stack.KeptScale(i) - 1) / scale.growthPerMicrometre, i);
        std::sort(distances.begin(), distances.end());
        const double same =
            kSameDistanceShare * (distances.empty() ? 0 : distances.back().first - distances.front().first);
        double first = 0, sum = 0;
        for (const auto& [distance, i] : distances) {
            if (levels.empty() || distance - first > same) {
                if (!levels.empty()) map.frameMicrometres.push_back(sum / static_cast<double>(levels.back().size()));
                levels.emplace_back();
                first = distance;
                sum = 0;
            }
            levels.back().push_back(i);
            sum += distance;
        }
        if (!levels.empty()) map.frameMicrometres.push_back(sum / static_cast<double>(levels.back().size()));
        // From the first level, as the positions are.
        const double nearest = map.frameMicrometres.empty() ? 0 : map.frameMicrometres.front();
        for (double& d : map.frameMicrometres) d -= nearest;
    }
    const int frames = static_cast<int>(levels.size());
    if (frames < 3) return std::nullopt;
    std::vector<cv::Mat> energy(static_cast<std::size_t>(frames));
    // The same averaged over a wider patch: whether a pixel has a focus peak at all is decided
    // there, where a sensor's noise (alike in every picture) evens out and a real peak does not.
    std::vector<cv::Mat> patch(static_cast<std::size_t>(frames));
    cv::parallel_for_(cv::Range(0, frames), [&](const cv::Range& some) {
        for (int i = some.start; i < some.end; ++i) {
            const std::vector<int>& level = levels[static_cast<std::size_t>(i)];
            cv::Mat& mean = energy[static_cast<std::size_t>(i)];
            for (const int picture : level) {
                const cv::Mat one = FocusEnergy(stack.KeptPicture(picture));
                if (mean.empty()) mean = one;
                else mean += one;
            }
            mean /= static_cast<double>(level.size());
            cv::GaussianBlur(mean, patch[static_cast<std::size_t>(i)], cv::Size(), kDecisionSigma);
        }
    });
    const cv::Size size = energy.front().size();
    map.width = size.width;
    map.height = size.height;
    const std::size_t pixels = static_cast<std::size_t>(size.area());
    std::vector<float> raw(pixels, std::numeric_limits<float>::quiet_NaN());
    std::vector<float> spread(pixels, 0); // the focus curve's own uncertainty, micrometres

    // The peak of each pixel's focus curve, to a fraction of a picture (rows in parallel).
    cv::parallel_for_(cv::Range(0, size.height), [&](const cv::Range& band) {
        for (int y = band.start; y < band.end; ++y) {
            std::vector<const float*> rows;
            for (const cv::Mat& e : energy) rows.push_back(e.ptr<float>(y));
            std::vector<const float*> patchRows;
            for (const cv::Mat& e : patch) patchRows.push_back(e.ptr<float>(y));
            for (int x = 0; x < size.width; ++x) {
                int best = 0;
                float most = rows[0][x], least = rows[0][x];
                for (int k = 1; k < frames; ++k) {
                    const float v = rows[static_cast<std::size_t>(k)][x];
                    if (v > most) {
                        most = v;
                        best = k;
                    }
                    least = std::min(least, v);
                }
                float patchMost = 0, patchLeast = std::numeric_limits<float>::max();
                for (int k = 0; k < frames; ++k) {
                    const float v = patchRows[static_cast<std::size_t>(k)][x];
                    patchMost = std::max(patchMost, v);
                    patchLeast = std::min(patchLeast, v);
                }
                if (most < kNoiseEnergy ||
                    patchMost < kLeastPeak * std::max<double>(patchLeast, kNoiseEnergy / kLeastPeak))
                    continue;
                // A peak at the first or last picture is one only where the curve falls steeply
                // from it: otherwise the focus lay beyond the stack (a surface never in focus).
                if (best == 0 || best == frames - 1) {
                    const std::size_t end = best == 0 ? 0 : static_cast<std::size_t>(frames - 1);
                    const float next = patchRows[best == 0 ? 1 : static_cast<std::size_t>(frames - 2)][x];
                    if (patchRows[end][x] < kEndPeakDrop * std::max(next, kNoiseEnergy / kEndPeakDrop)) continue;
                }
                const std::size_t b = static_cast<std::size_t>(best);
                const auto [z, width] = PeakOfFocusCurve(map.frameMicrometres, rows, x, best);
                const std::size_t i = static_cast<std::size_t>(y) * size.width + x;
                raw[i] = static_cast<float>(z);
                // How surely the peak is placed: the step between the pictures here, less for a
                // curve that peaks sharply and stands high above its blurriest picture.
                const std::size_t lower = b > 0 ? b - 1 : b, upper = b + 1 < map.frameMicrometres.size() ? b + 1 : b;
                const double step = 0.5 * std::abs(map.frameMicrometres[upper] - map.frameMicrometres[lower]);
                const double height = std::sqrt(std::log(most / std::max(least, 1e-3f)));
                const double sure = width > 0 ? std::min(step, 0.5 * width) : step;
                double spreadHere = std::clamp(sure / height, 0.1 * step, step);
                // A second peak of the curve elsewhere (beside a depth edge the other surface's
                // blur or sharp edge reaches over): the height may be either, and says so.
                for (int k = 0; k < frames; ++k) {
                    if (std::abs(k - best) < 2) continue;
                    const float v = rows[static_cast<std::size_t>(k)][x];
                    const bool peak = (k == 0 || v >= rows[static_cast<std::size_t>(k) - 1][x]) &&
                                      (k == frames - 1 || v >= rows[static_cast<std::size_t>(k) + 1][x]);
                    if (peak && v >= kSecondPeakShare * most)
                        spreadHere =
                            std::max(spreadHere, 0.5 * std::abs(map.frameMicrometres[static_cast<std::size_t>(k)] - z));
                }
                spread[i] = static_cast<float>(spreadHere);
            }
        }
    });

    // A median over the neighbourhood: single wrong peaks go, edges stay, small gaps are
    // filled; what the neighbours disagree on widens the uncertainty.
    map.micrometres.assign(pixels, std::numeric_limits<float>::quiet_NaN());
    map.uncertainty.assign(pixels, 0);
    const int window = (2 * kMedianRadius + 1) * (2 * kMedianRadius + 1);
    cv::parallel_for_(cv::Range(0, size.height), [&](const cv::Range& band) {
        std::vector<float> near;
        near.reserve(static_cast<std::size_t>(window));
        for (int y = band.start; y < band.end; ++y)
            for (int x = 0; x < size.width; ++x) {
                near.clear();
                float widest = 0; // the least sure curve around: what a filled gap takes
                for (int dy = -kMedianRadius; dy <= kMedianRadius; ++dy) {
                    const int yy = y + dy;
                    if (yy < 0 || yy >= size.height) continue;
                    for (int dx = -kMedianRadius; dx <= kMedianRadius; ++dx) {
                        const int xx = x + dx;
                        if (xx < 0 || xx >= size.width) continue;
                        const std::size_t j = static_cast<std::size_t>(yy) * size.width + xx;
                        if (std::isnan(raw[j])) continue;
                        near.push_back(raw[j]);
                        widest = std::max(widest, spread[j]);
                    }
                }
                const std::size_t i = static_cast<std::size_t>(y) * size.width + x;
                const bool own = !std::isnan(raw[i]);
                if (near.size() < 3 || (!own && near.size() < kFillShare * window)) continue;
                const auto middle = near.begin() + static_cast<std::ptrdiff_t>(near.size() / 2);
                std::nth_element(near.begin(), middle, near.end());
                const float median = *middle;
                for (float& z : near) z = std::abs(z - median);
                std::nth_element(near.begin(), middle, near.end());
                const float disagreement = 1.4826f * *middle; // the spread of a normal distribution
                map.micrometres[i] = median;
                const float curve = own ? spread[i] : widest;
                map.uncertainty[i] = 2 * std::sqrt(curve * curve + disagreement * disagreement);
            }
    });
    // Heights from the lowest known point; the calibration's own uncertainty on each.
    const float low = map.Range().first;
    for (std::size_t i = 0; i < pixels; ++i)
        if (!std::isnan(map.micrometres[i])) {
            map.micrometres[i] -= low;
            const float relative =
                static_cast<float>(map.fromFocusPositions ? scale.focusUnitUncertainty : scale.relativeUncertainty) *
                map.micrometres[i];
            map.uncertainty[i] = std::sqrt(map.uncertainty[i] * map.uncertainty[i] + relative * relative);
        }
    return map;
}
