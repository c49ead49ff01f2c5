#include "processing/MosaicLayout.h"

#include "processing/Detail.h"
#include "processing/MosaicAssembly.h"
#include "processing/PhaseCorrelation.h"

#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

// Pairs are searched on pictures reduced (by a whole factor) to at most this width.
constexpr int kSearchWidth = 320;
// The highest correlation peaks read as shifts, per pair.
constexpr int kPeaksPerPair = 10;
// The first look at a pair: on copies at least this wide, an overlap that agrees this well
// is worth matching in full (false matches pass it too; they are sorted out then).
constexpr int kQuickMinWidth = 128;
constexpr double kQuickAgreement = 0.35;
// A picture tied in by this many pairs needs no more (the placement stays overdetermined).
constexpr int kEnoughPairs = 12;
// An overlap counts when it is at least this share of a picture's width and height, and of
// its area: less is too little to tell a match from chance.
constexpr double kMinOverlapSide = 0.1;
constexpr double kMinOverlapArea = 0.08;
// A pair's shift is taken when its overlap's detail correlates at least this well, and the
// next best shift (elsewhere) correlates clearly less: at most this share of the best.
constexpr double kMinPairAgreement = 0.6;
constexpr double kMaxRunnerUpShare = 0.85;
// Pairs of one mosaic agree about equally well (their pictures share the noise, the blur and
// the compression): a pair this far below the typical one is taken for a false match, and a
// placed picture this far below it, on the whole, with every picture it then overlaps.
constexpr double kPairBelowTypical = 0.2;
constexpr double kPlacedBelowTypical = 0.15;
// A placed picture's overlaps must agree at least this much better where it is than moved.
constexpr double kUniqueMargin = 0.02;
constexpr std::size_t kUniqueOverlaps = 8; // the overlaps that check it, the largest
// Exposure: how far neighbours' brightness may differ by noise (grey levels), and how far a
// gain may stray from 1, in the balance between the two (as in the established stitchers).
constexpr double kGainNoise = 10, kGainSpread = 0.1;

struct Prepared {
    cv::Mat grey;   // full size, 8 bit
    cv::Mat detail; // reduced, band-passed (the lamp's slow changes and the noise taken out), CV_32F
    cv::Mat plain;  // reduced, CV_32F: for the exposure
    CorrelationSpectrum spectrum;
    cv::Mat quickDetail; // reduced twice as much again, for a first look at each pair
    CorrelationSpectrum quickSpectrum;
    bool blank = false;
};

struct PairMatch {
    int first = 0, second = 0;
    cv::Point2d offset; // full-size pixels: `second` lies at `first` + offset
    double agreement = 0;
    double share = 0; // of the picture's area
};

// The overlap of two pictures of `size` when the second lies at `shift`: its rectangle in the first.
cv::Rect OverlapIn(cv::Size size, cv::Point shift)
{
    return cv::Rect(cv::Point(), size) & cv::Rect(shift, size);
}

// The correlation of the detail where the second picture, at `shift`, overlaps the first;
// -2 when the overlap is too small to judge.
double OverlapAgreement(const cv::Mat& first, const cv::Mat& second, cv::Point shift, double* share = nullptr)
{
    const cv::Rect inFirst = OverlapIn(first.size(), shift);
    const double area = inFirst.area() / static_cast<double>(first.total());
    if (share) *share = area;
    if (inFirst.width < kMinOverlapSide * first.cols || inFirst.height < kMinOverlapSide * first.rows ||
        area < kMinOverlapArea)
        return -2;
    // The correlation coefficient, from the sums (far cheaper than a template match here).
    const cv::Mat a = first(inFirst), b = second(inFirst - shift);
    cv::Scalar meanA, deviationA, meanB, deviationB;
    cv::meanStdDev(a, meanA, deviationA);
    cv::meanStdDev(b, meanB, deviationB);
    if (deviationA[0] < 1e-6 || deviationB[0] < 1e-6) return 0;
    const double cross = a.dot(b) / static_cast<double>(a.total()) - meanA[0] * meanB[0];
    return cross / (deviationA[0] * deviationB[0]);
}

// The agreement's peak found to a fraction of a pixel (a parabola through the neighbours).
cv::Point2d RefinedShift(const cv::Mat& first, const cv::Mat& second, cv::Point shift, double best)
{
    auto vertex = [best](double before, double after) {
        const double curvature = before - 2 * best + after;
        if (before < -1 || after < -1 || curvature >= 0) return 0.0;
        return std::clamp(0.5 * (before - after) / curvature, -0.5, 0.5);
    };
    return cv::Point2d(shift.x + vertex(OverlapAgreement(first, second, shift - cv::Point(1, 0)),
                                        OverlapAgreement(first, second, shift + cv::Point(1, 0))),
                       shift.y + vertex(OverlapAgreement(first, second, shift - cv::Point(0, 1)),
                                        OverlapAgreement(first, second, shift + cv::Point(0, 1))));
}

Prepared Prepare(const cv::Mat& grey, int factor)
{
    Prepared prepared;
    prepared.grey = grey;
    prepared.blank = HasNoDetail(grey);
    ReducedGrey(grey, factor).convertTo(prepared.plain, CV_32F);
    cv::Mat fine, coarse;
    cv::GaussianBlur(prepared.plain, fine, cv::Size(), 0.7);
    cv::GaussianBlur(prepared.plain, coarse, cv::Size(), 6.0);
    prepared.detail = fine - coarse;
    if (!prepared.blank) prepared.spectrum = CorrelationSpectrum(prepared.detail, CorrelationSpectrum::Taper::Edges);
    if (!prepared.blank && prepared.detail.cols >= kQuickMinWidth) {
        cv::resize(prepared.detail, prepared.quickDetail, cv::Size(prepared.detail.cols / 2, prepared.detail.rows / 2),
                   0, 0, cv::INTER_AREA);
        prepared.quickSpectrum = CorrelationSpectrum(prepared.quickDetail, CorrelationSpectrum::Taper::Edges);
    }
    return prepared;
}

// A first look at a pair, on the quick copies: whether any of the correlation's highest
// peaks, read as each shift it stands for, gives an overlap that agrees at all. Pictures too
// small for quick copies always may.
bool MayOverlap(const Prepared& a, const Prepared& b)
{
    if (a.quickSpectrum.Empty() || b.quickSpectrum.Empty()) return true;
    const cv::Mat surface = CorrelationSurface(a.quickSpectrum, b.quickSpectrum);
    for (const SurfacePeak& peak : HighestPeaks(surface, kPeaksPerPair)) {
        const cv::Point at(static_cast<int>(std::lround(peak.at.x)) % surface.cols,
                           static_cast<int>(std::lround(peak.at.y)) % surface.rows);
        for (const int dx : {at.x, at.x - surface.cols})
            for (const int dy : {at.y, at.y - surface.rows})
                if (OverlapAgreement(a.quickDetail, b.quickDetail, {dx, dy}) >= kQuickAgreement) return true;
    }
    return false;
}

// The shift of `second` against `first`, when one is clearly best; full-size pixels.
std::optional<PairMatch> MatchPair(const std::vector<Prepared>& pictures, int first, int second, int factor)
{
    const Prepared& a = pictures[static_cast<std::size_t>(first)];
    const Prepared& b = pictures[static_cast<std::size_t>(second)];
    const cv::Mat surface = CorrelationSurface(a.spectrum, b.spectrum);
    if (surface.empty()) return std::nullopt;
    struct Candidate {
        cv::Point shift;
        double agreement, share;
    };
    std::vector<Candidate> candidates;
    for (const SurfacePeak& peak : HighestPeaks(surface, kPeaksPerPair)) {
        // A peak at p stands for p and p minus the transform's size, across and down.
        const cv::Point at(static_cast<int>(std::lround(peak.at.x)) % surface.cols,
                           static_cast<int>(std::lround(peak.at.y)) % surface.rows);
        for (const int dx : {at.x, at.x - surface.cols})
            for (const int dy : {at.y, at.y - surface.rows}) {
                double share = 0;
                const double agreement = OverlapAgreement(a.detail, b.detail, {dx, dy}, &share);
                if (agreement > -2) candidates.push_back({{dx, dy}, agreement, share});
            }
    }
    if (candidates.empty()) return std::nullopt;
    std::sort(candidates.begin(), candidates.end(),
              [](const Candidate& x, const Candidate& y) { return x.agreement > y.agreement; });
    const Candidate& best = candidates.front();
    double runnerUp = 0;
    for (const Candidate& other : candidates)
        if (std::abs(other.shift.x - best.shift.x) > 2 || std::abs(other.shift.y - best.shift.y) > 2) {
            runnerUp = std::max(0.0, other.agreement);
            break;
        }
    if (best.agreement < kMinPairAgreement || runnerUp > kMaxRunnerUpShare * best.agreement) return std::nullopt;

    PairMatch match{first, second, RefinedShift(a.detail, b.detail, best.shift, best.agreement) * factor,
                    best.agreement, best.share};
    // Measured again at full size on the overlap, where that is sure.
    cv::Point2d measured;
    double peak = 0;
    if (factor > 1 && MeasureOverlapOffset(a.grey, b.grey, match.offset, &measured, &peak) &&
        std::hypot(measured.x - match.offset.x, measured.y - match.offset.y) <= factor)
        match.offset = measured;
    return match;
}

// Groups of pictures tied together by pairs: each picture's group (its lowest member).
std::vector<int> Groups(int count, const std::vector<PairMatch>& pairs)
{
    std::vector<int> parent(static_cast<std::size_t>(count));
    std::iota(parent.begin(), parent.end(), 0);
    auto root = [&](int i) {
        while (parent[static_cast<std::size_t>(i)] != i)
            i = parent[static_cast<std::size_t>(i)] =
                parent[static_cast<std::size_t>(parent[static_cast<std::size_t>(i)])];
        return i;
    };
    for (const PairMatch& pair : pairs) {
        const int a = root(pair.first), b = root(pair.second);
        parent[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
    }
    std::vector<int> group(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) group[static_cast<std::size_t>(i)] = root(i);
    return group;
}

// The largest group (the one with the earliest picture among equals).
int LargestGroup(const std::vector<int>& group, const std::vector<bool>& usable)
{
    std::vector<int> sizes(group.size(), 0);
    for (std::size_t i = 0; i < group.size(); ++i)
        if (usable[i]) ++sizes[static_cast<std::size_t>(group[i])];
    return static_cast<int>(std::max_element(sizes.begin(), sizes.end()) - sizes.begin());
}

struct Solved {
    std::vector<int> members;           // pictures placed, in order
    std::vector<cv::Point2d> positions; // by picture (only members' are meaningful)
    std::vector<PairMatch> pairs;       // the pairs among the members
};

// The members of `group` placed by least squares over their pairs.
Solved Place(int count, int groupId, const std::vector<int>& group, const std::vector<bool>& usable,
             const std::vector<PairMatch>& pairs)
{
    Solved solved;
    std::vector<int> local(static_cast<std::size_t>(count), -1);
    for (int i = 0; i < count; ++i)
        if (usable[static_cast<std::size_t>(i)] && group[static_cast<std::size_t>(i)] == groupId) {
            local[static_cast<std::size_t>(i)] = static_cast<int>(solved.members.size());
            solved.members.push_back(i);
        }
    std::vector<MosaicLink> links;
    for (const PairMatch& pair : pairs) {
        const int a = local[static_cast<std::size_t>(pair.first)], b = local[static_cast<std::size_t>(pair.second)];
        if (a < 0 || b < 0) continue;
        solved.pairs.push_back(pair);
        links.push_back({a, b, pair.offset, pair.agreement * pair.share});
    }
    const std::vector<cv::Point2d> positions = SolveMosaicPositions(
        static_cast<int>(solved.members.size()), links, std::vector<cv::Point2d>(solved.members.size(), cv::Point2d()));
    solved.positions.assign(static_cast<std::size_t>(count), cv::Point2d());
    for (std::size_t m = 0; m < solved.members.size(); ++m)
        solved.positions[static_cast<std::size_t>(solved.members[m])] = positions[m];
    return solved;
}

// Every overlapping pair, whatever the order the pictures came in. Each pair is first looked
// at on pictures reduced twice as much (a quick correlation and the agreement of its best
// shifts); only a pair that may overlap is matched in full.
std::vector<PairMatch> FindPairs(const std::vector<Prepared>& prepared, int factor, std::vector<int>& matched,
                                 const std::function<bool()>& step, bool* cancelled)
{
    const int count = static_cast<int>(prepared.size());
    std::vector<PairMatch> pairs;
    for (int i = 0; i < count && !*cancelled; ++i) {
        const Prepared& a = prepared[static_cast<std::size_t>(i)];
        // A row's pairs are matched side by side, then taken in order as one by one.
        std::vector<int> candidates;
        for (int j = i + 1; j < count; ++j)
            if (!a.blank && !prepared[static_cast<std::size_t>(j)].blank &&
                !(matched[static_cast<std::size_t>(i)] >= kEnoughPairs &&
                  matched[static_cast<std::size_t>(j)] >= kEnoughPairs))
                candidates.push_back(j);
        std::vector<std::optional<PairMatch>> found(candidates.size());
        cv::parallel_for_(cv::Range(0, static_cast<int>(candidates.size())), [&](const cv::Range& range) {
            for (int c = range.start; c < range.end; ++c) {
                const int j = candidates[static_cast<std::size_t>(c)];
                if (MayOverlap(a, prepared[static_cast<std::size_t>(j)]))
                    found[static_cast<std::size_t>(c)] = MatchPair(prepared, i, j, factor);
            }
        });
        for (std::size_t c = 0; c < candidates.size(); ++c) {
            const auto j = static_cast<std::size_t>(candidates[c]);
            // Enough pairs tie both in already (pictures taken close together overlap dozens).
            if (!found[c] || (matched[static_cast<std::size_t>(i)] >= kEnoughPairs && matched[j] >= kEnoughPairs))
                continue;
            pairs.push_back(*found[c]);
            ++matched[static_cast<std::size_t>(i)];
            ++matched[j];
        }
        if (!step()) *cancelled = true;
    }
    return pairs;
}

// Each of the list's pictures judged side by side; the first in the list judged false, or -1.
int FirstFailing(const std::vector<int>& members, const std::function<bool(int)>& passes)
{
    std::vector<char> failing(members.size(), 0);
    cv::parallel_for_(cv::Range(0, static_cast<int>(members.size())), [&](const cv::Range& range) {
        for (int m = range.start; m < range.end; ++m)
            failing[static_cast<std::size_t>(m)] = !passes(members[static_cast<std::size_t>(m)]);
    });
    const auto first = std::find(failing.begin(), failing.end(), 1);
    return first == failing.end() ? -1 : members[static_cast<std::size_t>(first - failing.begin())];
}

// How well a placed picture agrees with every picture it overlaps once placed (the mean
// correlation of the detail, weighted by the overlaps' areas); 1 when it overlaps none.
double PlacedAgreement(int picture, const Solved& solved, const std::vector<Prepared>& prepared, int factor,
                       cv::Point moved = {})
{
    double sum = 0, weights = 0;
    for (int other : solved.members) {
        if (other == picture) continue;
        const cv::Point2d offset =
            (solved.positions[static_cast<std::size_t>(other)] - solved.positions[static_cast<std::size_t>(picture)]) /
                factor -
            cv::Point2d(moved);
        double share = 0;
        const double agreement = OverlapAgreement(
            prepared[static_cast<std::size_t>(picture)].detail, prepared[static_cast<std::size_t>(other)].detail,
            cv::Point(static_cast<int>(std::lround(offset.x)), static_cast<int>(std::lround(offset.y))), &share);
        if (agreement < -1) continue;
        sum += agreement * share;
        weights += share;
    }
    return weights > 0 ? sum / weights : 1;
}

// Whether a placed picture's overlaps agree clearly best where it is: moved a few pixels to
// anything up to a sixteenth of its width, they must agree less. On a repeating pattern (a
// row of alike windows, a grating) every pair may have taken the same wrong repeat; then the
// picture matches about as well one repeat away, and its place is not known.
// (Against the eight pictures it overlaps most, on the quick copies where there are some:
// the check looks at a few hundred places.)
bool UniquelyPlaced(int picture, const Solved& solved, const std::vector<Prepared>& prepared, int factor)
{
    const bool quick = !prepared.front().quickDetail.empty();
    const int scale = quick ? 2 * factor : factor;
    auto detailOf = [&](int i) -> const cv::Mat& {
        return quick ? prepared[static_cast<std::size_t>(i)].quickDetail : prepared[static_cast<std::size_t>(i)].detail;
    };
    auto offsetTo = [&](int other) {
        const cv::Point2d offset =
            (solved.positions[static_cast<std::size_t>(other)] - solved.positions[static_cast<std::size_t>(picture)]) /
            scale;
        return cv::Point(static_cast<int>(std::lround(offset.x)), static_cast<int>(std::lround(offset.y)));
    };
    const cv::Mat& mine = detailOf(picture);
    std::vector<std::pair<double, int>> overlapping; // share, picture
    for (int other : solved.members)
        if (other != picture)
            if (const double area = OverlapIn(mine.size(), offsetTo(other)).area() / static_cast<double>(mine.total());
                area >= kMinOverlapArea)
                overlapping.emplace_back(area, other);
    std::sort(overlapping.rbegin(), overlapping.rend());
    overlapping.resize(std::min<std::size_t>(overlapping.size(), kUniqueOverlaps));
    auto agreementAt = [&](cv::Point moved) {
        double sum = 0, weights = 0;
        for (const auto& [area, other] : overlapping) {
            double share = 0;
            const double agreement = OverlapAgreement(mine, detailOf(other), offsetTo(other) - moved, &share);
            if (agreement < -1) continue;
            sum += agreement * share;
            weights += share;
        }
        return weights > 0 ? sum / weights : 0;
    };
    const double here = agreementAt({});
    const int step = quick ? 1 : 2;
    const int reach = std::clamp(prepared.front().detail.cols / 16, 4, 16) / (quick ? 2 : 1);
    for (int dy = -reach; dy <= reach; dy += step)
        for (int dx = -reach; dx <= reach; dx += step)
            if ((std::abs(dx) > step || std::abs(dy) > step) && agreementAt({dx, dy}) >= here - kUniqueMargin)
                return false;
    return true;
}

// A gain per placed picture that makes neighbours equally bright where they overlap, kept
// near 1 (least squares over both).
void EvenExposure(const Solved& solved, const std::vector<Prepared>& prepared, int factor, MosaicLayout& layout)
{
    const int n = static_cast<int>(solved.members.size());
    if (n < 2) return;
    cv::Mat normal = cv::Mat::zeros(n, n, CV_64F), right = cv::Mat::zeros(n, 1, CV_64F);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            if (i == j) continue;
            const int a = solved.members[static_cast<std::size_t>(i)], b = solved.members[static_cast<std::size_t>(j)];
            const cv::Point2d offset =
                (solved.positions[static_cast<std::size_t>(b)] - solved.positions[static_cast<std::size_t>(a)]) /
                factor;
            const cv::Point shift(static_cast<int>(std::lround(offset.x)), static_cast<int>(std::lround(offset.y)));
            const cv::Mat& first = prepared[static_cast<std::size_t>(a)].plain;
            const cv::Rect inFirst = OverlapIn(first.size(), shift);
            if (inFirst.area() < kMinOverlapArea * static_cast<double>(first.total())) continue;
            const double pixels = inFirst.area() / static_cast<double>(first.total());
            const double meanA = cv::mean(first(inFirst))[0];
            const double meanB = cv::mean(prepared[static_cast<std::size_t>(b)].plain(inFirst - shift))[0];
            normal.at<double>(i, i) +=
                pixels * (meanA * meanA / (kGainNoise * kGainNoise) + 1 / (kGainSpread * kGainSpread));
            normal.at<double>(i, j) -= pixels * meanA * meanB / (kGainNoise * kGainNoise);
            right.at<double>(i, 0) += pixels / (kGainSpread * kGainSpread);
        }
    for (int i = 0; i < n; ++i)
        if (normal.at<double>(i, i) == 0) {
            normal.at<double>(i, i) = 1;
            right.at<double>(i, 0) = 1;
        }
    cv::Mat gains;
    if (!cv::solve(normal, right, gains, cv::DECOMP_CHOLESKY)) return;
    for (int i = 0; i < n; ++i)
        layout.pictures[static_cast<std::size_t>(solved.members[static_cast<std::size_t>(i)])].gain =
            std::clamp(gains.at<double>(i, 0), 0.5, 2.0);
}

} // namespace

MosaicLayout LayOutMosaic(const std::vector<cv::Mat>& greys, int reduction,
                          const std::function<bool(int, int)>& progress)
{
    MosaicLayout layout;
    const int count = static_cast<int>(greys.size());
    if (count == 0) return layout;
    layout.pictures.resize(greys.size());
    const int factor = std::max(1, (greys.front().cols + kSearchWidth - 1) / kSearchWidth);
    // Preparing is a step a picture; finding its pairs another.
    const int total = 2 * count;
    int done = 0;
    bool cancelled = false;

    std::vector<Prepared> prepared;
    prepared.reserve(greys.size());
    for (const cv::Mat& grey : greys) {
        prepared.push_back(Prepare(grey, factor));
        if (progress && !progress(++done, total)) return {};
    }

    std::vector<int> matched(greys.size(), 0); // pairs found per picture
    std::vector<PairMatch> pairs = FindPairs(
        prepared, factor, matched, [&] { return !progress || progress(++done, total); }, &cancelled);
    if (cancelled) return {};

    // False matches agree far less than the rest.
    std::vector<double> agreements;
    for (const PairMatch& pair : pairs) agreements.push_back(pair.agreement);
    double typical = kMinPairAgreement;
    if (!agreements.empty()) {
        std::nth_element(agreements.begin(), agreements.begin() + static_cast<std::ptrdiff_t>(agreements.size() / 2),
                         agreements.end());
        typical = agreements[agreements.size() / 2];
    }
    std::erase_if(pairs, [&](const PairMatch& pair) {
        if (pair.agreement >= typical - kPairBelowTypical) return false;
        --matched[static_cast<std::size_t>(pair.first)];
        --matched[static_cast<std::size_t>(pair.second)];
        return true;
    });
    const double minPlacedAgreement = std::max(kMinPairAgreement, typical - kPlacedBelowTypical);

    // Placed together; the pair that disagrees most with the placement of the others goes,
    // and a picture that disagrees with what it overlaps once placed, until all agree.
    std::vector<bool> usable(greys.size());
    for (std::size_t i = 0; i < greys.size(); ++i) usable[i] = !prepared[i].blank;
    std::vector<bool> disagrees(greys.size(), false), ambiguous(greys.size(), false);
    const double tolerance = std::max(3.0, 1.5 * factor);
    Solved solved;
    for (;;) {
        const std::vector<int> group = Groups(count, pairs);
        solved = Place(count, LargestGroup(group, usable), group, usable, pairs);
        auto worst = pairs.end();
        double worstResidual = tolerance;
        for (auto pair = pairs.begin(); pair != pairs.end(); ++pair) {
            if (std::find(solved.members.begin(), solved.members.end(), pair->first) == solved.members.end()) continue;
            const cv::Point2d placed = solved.positions[static_cast<std::size_t>(pair->second)] -
                                       solved.positions[static_cast<std::size_t>(pair->first)];
            const double residual = std::hypot(placed.x - pair->offset.x, placed.y - pair->offset.y);
            if (residual > worstResidual) {
                worstResidual = residual;
                worst = pair;
            }
        }
        if (worst != pairs.end()) {
            disagrees[static_cast<std::size_t>(worst->first)] = disagrees[static_cast<std::size_t>(worst->second)] =
                true;
            pairs.erase(worst);
            continue;
        }
        std::vector<double> placedAgreements(solved.members.size());
        cv::parallel_for_(cv::Range(0, static_cast<int>(solved.members.size())), [&](const cv::Range& range) {
            for (int m = range.start; m < range.end; ++m)
                placedAgreements[static_cast<std::size_t>(m)] =
                    PlacedAgreement(solved.members[static_cast<std::size_t>(m)], solved, prepared, factor);
        });
        int worstPicture = -1;
        double worstAgreement = minPlacedAgreement;
        for (std::size_t m = 0; m < solved.members.size(); ++m)
            if (placedAgreements[m] < worstAgreement) {
                worstAgreement = placedAgreements[m];
                worstPicture = solved.members[m];
            }
        if (worstPicture < 0 && solved.members.size() > 1) {
            // All agree: each must also agree best where it is (not one repeat away).
            worstPicture = FirstFailing(solved.members,
                                        [&](int member) { return UniquelyPlaced(member, solved, prepared, factor); });
            if (worstPicture >= 0) ambiguous[static_cast<std::size_t>(worstPicture)] = true;
        }
        if (worstPicture < 0) break;
        usable[static_cast<std::size_t>(worstPicture)] = false;
        disagrees[static_cast<std::size_t>(worstPicture)] = true;
        std::erase_if(pairs, [&](const PairMatch& p) { return p.first == worstPicture || p.second == worstPicture; });
    }

    for (int i = 0; i < count; ++i) {
        MosaicLayout::Placement& placement = layout.pictures[static_cast<std::size_t>(i)];
        if (std::find(solved.members.begin(), solved.members.end(), i) != solved.members.end()) {
            placement.position = solved.positions[static_cast<std::size_t>(i)] * std::max(1, reduction);
            continue;
        }
        if (prepared[static_cast<std::size_t>(i)].blank)
            placement.whyNot = QStringLiteral("nothing to match in it (a blank picture)");
        else if (ambiguous[static_cast<std::size_t>(i)])
            placement.whyNot =
                QStringLiteral("it matches its neighbours about as well a little elsewhere (a repeating pattern)");
        else if (disagrees[static_cast<std::size_t>(i)])
            placement.whyNot = QStringLiteral("its overlap with its neighbours does not agree once placed");
        else if (matched[static_cast<std::size_t>(i)] > 0)
            placement.whyNot = QStringLiteral("it and the pictures it overlaps overlap none of the others");
        else placement.whyNot = QStringLiteral("it overlaps none of the other pictures (or less than 15 %)");
    }
    layout.pairs = static_cast<int>(solved.pairs.size());
    double sum = 0, weights = 0;
    for (const PairMatch& pair : solved.pairs) {
        sum += pair.agreement * pair.share;
        weights += pair.share;
    }
    layout.agreement = weights > 0 ? sum / weights : 0;
    EvenExposure(solved, prepared, factor, layout);
    return layout;
}
