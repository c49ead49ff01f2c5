#include "processing/Mosaic.h"

#include "processing/CvImages.h"
#include "processing/PhaseCorrelation.h"

#include <QPainter>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <list>
#include <numeric>

namespace {

// Tracking runs on pictures reduced (by a whole factor) to at most this width.
constexpr int kTrackWidth = 640;
// A new key picture when the view is this share of a field away from every kept one.
constexpr double kKeyStep = 1.0 / 3;
// Pairs of key pictures overlapping by less than this share of a field are not matched
// when the mosaic is assembled (too little in common to be sure).
constexpr double kMinPairOverlap = 0.12;
// The overlaps matched in assembly are reduced to at most this side.
constexpr int kPairSide = 512;
// The structure (band-passed brightness, grey levels) below which a picture is blank.
constexpr double kBlankStructure = 1.5;
// Spectra of key pictures kept for tracking (the nearest ones are asked again and again).
constexpr std::size_t kCachedSpectra = 6;
// The map's key pictures are kept this much smaller than the frames.
constexpr int kThumbReduction = 8;

cv::Mat Grey(const cv::Mat& bgr)
{
    cv::Mat grey;
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    return grey;
}

cv::Mat Reduced(const cv::Mat& grey, int factor)
{
    if (factor <= 1) return grey;
    cv::Mat reduced;
    cv::resize(grey, reduced, cv::Size(grey.cols / factor, grey.rows / factor), 0, 0, cv::INTER_AREA);
    return reduced;
}

// Whether a picture has anything to follow: its detail (fine structure with the lamp's slow
// changes taken out), at a quarter of the tracking size, is below what sensor noise gives.
bool IsBlank(const cv::Mat& reducedGrey)
{
    cv::Mat small, fine, coarse;
    cv::resize(reducedGrey, small, cv::Size(std::max(8, reducedGrey.cols / 4), std::max(8, reducedGrey.rows / 4)), 0, 0,
               cv::INTER_AREA);
    small.convertTo(small, CV_32F);
    cv::GaussianBlur(small, fine, cv::Size(), 0.8);
    cv::GaussianBlur(small, coarse, cv::Size(), 4.0);
    cv::Scalar mean, deviation;
    cv::meanStdDev(fine - coarse, mean, deviation);
    return deviation[0] < kBlankStructure;
}

// How far apart two views are, in fields (the larger of across and down).
double FieldsApart(cv::Point2d a, cv::Point2d b, cv::Size field)
{
    return std::max(std::abs(a.x - b.x) / field.width, std::abs(a.y - b.y) / field.height);
}

struct Key {
    cv::Mat bgr;
    cv::Mat reduced; // grey, tracking size
    cv::Mat thumb;   // BGR, for the map
    cv::Point2d position;
};

// A measured offset between two key pictures: `second` lies at `first` + offset.
struct Link {
    int first, second;
    cv::Point2d offset;
    double weight;
};

} // namespace

struct Mosaic::State {
    Options options;
    cv::Size frame;
    int reduction = 1;
    std::vector<Key> keys;
    std::vector<Link> links; // from tracking: how each key picture was placed
    std::list<std::pair<int, CorrelationSpectrum>> spectra; // most recently used first
    cv::Point2d view;
    LostReason lost = LostReason::None;
    std::size_t searchFrom = 0; // where the search for a lost view goes on
    cv::Rect2d bounds;

    const CorrelationSpectrum& SpectrumOf(int key)
    {
        for (auto it = spectra.begin(); it != spectra.end(); ++it)
            if (it->first == key) {
                spectra.splice(spectra.begin(), spectra, it);
                return spectra.front().second;
            }
        spectra.emplace_front(key, CorrelationSpectrum(keys[static_cast<std::size_t>(key)].reduced));
        if (spectra.size() > kCachedSpectra) spectra.pop_back();
        return spectra.front().second;
    }

    // Matches the picture against key `key`; its top-left when sure.
    bool MatchKey(int key, const CorrelationSpectrum& picture, cv::Point2d* position, double* peak)
    {
        const PhaseMatch match = Correlate(SpectrumOf(key), picture);
        if (!match.Strong()) return false;
        const cv::Size reduced = picture.Size();
        // Beyond half a field either way a shift cannot be told from its wrapped twin.
        if (std::abs(match.shift.x) > 0.45 * reduced.width || std::abs(match.shift.y) > 0.45 * reduced.height)
            return false;
        *position = keys[static_cast<std::size_t>(key)].position + match.shift * reduction;
        *peak = match.peak;
        return true;
    }

    // Keys by distance from a point, nearest first.
    std::vector<int> KeysNearest(cv::Point2d point) const
    {
        std::vector<int> order(keys.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            return FieldsApart(keys[static_cast<std::size_t>(a)].position, point, frame) <
                   FieldsApart(keys[static_cast<std::size_t>(b)].position, point, frame);
        });
        return order;
    }

    cv::Rect2d BoundsWith(cv::Point2d position) const
    {
        return bounds | cv::Rect2d(position, cv::Size2d(frame));
    }

    bool WithinLimits(const cv::Rect2d& box, int keyCount) const
    {
        const QSize size(static_cast<int>(std::ceil(box.width)) + 1, static_cast<int>(std::ceil(box.height)) + 1);
        return size.width() <= options.maxSide && size.height() <= options.maxSide &&
               BytesFor(size, QSize(frame.width, frame.height), keyCount) <= options.maxBytes;
    }

    void Keep(cv::Mat bgr, cv::Mat reduced, cv::Point2d position, int from, double peak)
    {
        Key key;
        cv::resize(bgr, key.thumb, cv::Size(std::max(1, frame.width / kThumbReduction), std::max(1, frame.height / kThumbReduction)),
                   0, 0, cv::INTER_AREA);
        key.bgr = std::move(bgr);
        key.reduced = std::move(reduced);
        key.position = position;
        bounds = keys.empty() ? cv::Rect2d(position, cv::Size2d(frame)) : BoundsWith(position);
        keys.push_back(std::move(key));
        if (from >= 0)
            links.push_back({from, static_cast<int>(keys.size()) - 1,
                             position - keys[static_cast<std::size_t>(from)].position, peak});
    }
};

Mosaic::Mosaic(Options options) : state_(std::make_unique<State>())
{
    state_->options = options;
}

Mosaic::~Mosaic() = default;

qint64 Mosaic::BytesFor(QSize mosaic, QSize frame, int keys)
{
    // The kept pictures, then the assembly's sums (three colours and a weight, in floats)
    // and the result.
    const qint64 area = qint64(mosaic.width()) * mosaic.height();
    return qint64(keys) * frame.width() * frame.height() * 3 + area * (4 * 4 + 4);
}

Mosaic::Step Mosaic::Add(const QImage& picture)
{
    State& s = *state_;
    cv::Mat bgr = BgrMatOf(picture);
    if (bgr.empty()) return Step::WrongSize;
    if (s.keys.empty()) {
        s.frame = bgr.size();
        s.reduction = std::max(1, (bgr.cols + kTrackWidth - 1) / kTrackWidth);
        cv::Mat reduced = Reduced(Grey(bgr), s.reduction);
        if (IsBlank(reduced)) {
            s.lost = LostReason::Blank;
            return Step::Lost;
        }
        s.Keep(std::move(bgr), std::move(reduced), {0, 0}, -1, 0);
        s.view = {0, 0};
        s.lost = LostReason::None;
        return Step::First;
    }
    if (bgr.size() != s.frame) return Step::WrongSize;

    cv::Mat reduced = Reduced(Grey(bgr), s.reduction);
    if (IsBlank(reduced)) {
        s.lost = LostReason::Blank;
        return Step::Lost;
    }
    const CorrelationSpectrum spectrum(reduced);
    const bool wasLost = s.lost != LostReason::None;
    cv::Point2d position;
    double peak = 0;
    int from = -1;
    const std::vector<int> nearest = s.KeysNearest(s.view);
    if (s.options.everyPictureIsKey) {
        // A picture from a file: the one before it first, then every other.
        std::vector<int> order;
        order.push_back(static_cast<int>(s.keys.size()) - 1);
        for (int key : nearest)
            if (key != order.front()) order.push_back(key);
        for (int key : order)
            if (s.MatchKey(key, spectrum, &position, &peak)) {
                from = key;
                break;
            }
    } else if (!wasLost) {
        // Followed against the nearest key pictures.
        for (std::size_t i = 0; i < std::min<std::size_t>(2, nearest.size()) && from < 0; ++i)
            if (s.MatchKey(nearest[i], spectrum, &position, &peak)) from = nearest[i];
    } else {
        // Lost: a few key pictures each frame, nearest to where the view was lost first, so the
        // view is found again wherever it comes back over the mosaic.
        for (int tried = 0; tried < 3 && tried < static_cast<int>(nearest.size()) && from < 0; ++tried) {
            const int key = nearest[s.searchFrom++ % nearest.size()];
            if (s.MatchKey(key, spectrum, &position, &peak)) from = key;
        }
    }
    if (from < 0) {
        s.lost = LostReason::NoMatch;
        return Step::Lost;
    }
    s.lost = LostReason::None;
    s.searchFrom = 0;
    s.view = position;

    bool keep = s.options.everyPictureIsKey;
    if (!keep) {
        double apart = 1e9;
        for (const Key& key : s.keys) apart = std::min(apart, FieldsApart(key.position, position, s.frame));
        keep = apart >= kKeyStep;
    }
    if (!keep) return wasLost ? Step::Resumed : Step::Followed;
    if (!s.WithinLimits(s.BoundsWith(position), static_cast<int>(s.keys.size()) + 1)) return Step::TooLarge;
    s.Keep(std::move(bgr), std::move(reduced), position, from, peak);
    return wasLost ? Step::Resumed : Step::KeyAdded;
}

Mosaic::LostReason Mosaic::Lost() const
{
    return state_->lost;
}

QSize Mosaic::FrameSize() const
{
    return QSize(state_->frame.width, state_->frame.height);
}

int Mosaic::KeyCount() const
{
    return static_cast<int>(state_->keys.size());
}

QPointF Mosaic::ViewPosition() const
{
    return QPointF(state_->view.x, state_->view.y);
}

std::vector<QPointF> Mosaic::KeyPositions() const
{
    std::vector<QPointF> positions;
    for (const Key& key : state_->keys) positions.emplace_back(key.position.x, key.position.y);
    return positions;
}

QRectF Mosaic::Bounds() const
{
    const cv::Rect2d& b = state_->bounds;
    return QRectF(b.x, b.y, b.width, b.height);
}

QImage Mosaic::Map(int side) const
{
    const State& s = *state_;
    if (s.keys.empty()) return {};
    const cv::Rect2d box = s.BoundsWith(s.view);
    const double scale = std::min(side / box.width, side / box.height);
    QImage map(std::max(1, static_cast<int>(box.width * scale)), std::max(1, static_cast<int>(box.height * scale)),
               QImage::Format_RGB32);
    map.fill(QColor(24, 24, 24));
    QPainter painter(&map);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    auto place = [&](cv::Point2d position) {
        return QRectF((position.x - box.x) * scale, (position.y - box.y) * scale, s.frame.width * scale,
                      s.frame.height * scale);
    };
    for (const Key& key : s.keys) painter.drawImage(place(key.position), ImageOfBgr(key.thumb));
    const bool lost = s.lost != LostReason::None;
    painter.setPen(QPen(lost ? QColor(240, 40, 40) : QColor(60, 230, 60), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(place(s.view).adjusted(1, 1, -1, -1));
    return map;
}

namespace {

// The feathering weight across a picture: highest in the middle, falling to nothing at the
// edges, so that where pictures overlap each fades into the next.
cv::Mat FeatherWeights(cv::Size size)
{
    cv::Mat weights(size, CV_32F);
    for (int y = 0; y < size.height; ++y) {
        const float wy = std::min(y + 0.5f, size.height - y - 0.5f) / (size.height / 2.0f);
        auto* row = weights.ptr<float>(y);
        for (int x = 0; x < size.width; ++x)
            row[x] = std::max(1e-3f, wy) * std::max(1e-3f, std::min(x + 0.5f, size.width - x - 0.5f) / (size.width / 2.0f));
    }
    return weights;
}

// The offset of `second` against `first` measured on their overlap at full resolution
// (reduced to kPairSide), starting from the tracked offset; false when they do not agree.
bool MeasurePair(const cv::Mat& first, const cv::Mat& second, cv::Point2d tracked, cv::Point2d* measured,
                 double* peak)
{
    const cv::Point whole(static_cast<int>(std::lround(tracked.x)), static_cast<int>(std::lround(tracked.y)));
    const cv::Rect inFirst = cv::Rect(0, 0, first.cols, first.rows) & cv::Rect(whole, first.size());
    if (inFirst.width < kMinPairOverlap * first.cols || inFirst.height < kMinPairOverlap * first.rows) return false;
    const cv::Rect inSecond = inFirst - whole;
    const int factor = std::max(1, (std::max(inFirst.width, inFirst.height) + kPairSide - 1) / kPairSide);
    const PhaseMatch match = Correlate(CorrelationSpectrum(Reduced(first(inFirst), factor)),
                                       CorrelationSpectrum(Reduced(second(inSecond), factor)));
    const cv::Point2d residual = match.shift * factor;
    if (!match.Strong() || std::abs(residual.x) > first.cols / 8.0 || std::abs(residual.y) > first.rows / 8.0)
        return false;
    *measured = cv::Point2d(whole) + residual;
    *peak = match.peak;
    return true;
}

// The RMS grey difference of two pictures where they overlap at `offset`.
double OverlapDifference(const cv::Mat& first, const cv::Mat& second, cv::Point2d offset, double* samples)
{
    const cv::Point whole(static_cast<int>(std::floor(offset.x)), static_cast<int>(std::floor(offset.y)));
    const cv::Point2d fraction = offset - cv::Point2d(whole);
    // The second picture moved by the fraction of a pixel, then compared pixel for pixel; the
    // outermost pixels (not covered after the move) are left out.
    cv::Mat moved;
    const cv::Matx23d shift(1, 0, fraction.x, 0, 1, fraction.y);
    cv::warpAffine(second, moved, shift, second.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    cv::Rect inFirst = cv::Rect(0, 0, first.cols, first.rows) & cv::Rect(whole + cv::Point(1, 1), first.size() - cv::Size(2, 2));
    if (inFirst.area() <= 0) return 0;
    const cv::Rect inSecond = inFirst - whole;
    cv::Mat a, b, difference;
    first(inFirst).convertTo(a, CV_32F);
    moved(inSecond).convertTo(b, CV_32F);
    difference = a - b;
    *samples = inFirst.area();
    return difference.dot(difference);
}

} // namespace

Mosaic::Assembled Mosaic::Assemble(const std::function<bool(int, int)>& progress) const
{
    const State& s = *state_;
    Assembled assembled;
    const int n = static_cast<int>(s.keys.size());
    if (n == 0) return assembled;

    std::vector<cv::Mat> greys;
    greys.reserve(s.keys.size());
    for (const Key& key : s.keys) greys.push_back(Grey(key.bgr));

    // Every pair of key pictures that overlaps enough, measured on its overlap.
    std::vector<std::pair<int, int>> candidates;
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            if (FieldsApart(s.keys[static_cast<std::size_t>(i)].position, s.keys[static_cast<std::size_t>(j)].position,
                            s.frame) <= 1 - kMinPairOverlap)
                candidates.emplace_back(i, j);
    const int total = static_cast<int>(candidates.size()) + n;
    int done = 0;
    std::vector<Link> links;
    for (const auto& [i, j] : candidates) {
        cv::Point2d measured;
        double peak = 0;
        const cv::Point2d tracked = s.keys[static_cast<std::size_t>(j)].position - s.keys[static_cast<std::size_t>(i)].position;
        if (MeasurePair(greys[static_cast<std::size_t>(i)], greys[static_cast<std::size_t>(j)], tracked, &measured, &peak))
            links.push_back({i, j, measured, peak});
        if (progress && !progress(++done, total)) return {};
    }
    assembled.pairs = static_cast<int>(links.size());
    // Tracking's own links keep every picture tied in, weakly, where no overlap was measured.
    for (Link link : s.links) {
        link.weight *= 0.1;
        links.push_back(link);
    }

    // Least squares: the positions that best agree with every measured offset, the first
    // picture fixed at the origin. Across and down are solved apart (same equations).
    std::vector<cv::Point2d> positions(s.keys.size());
    for (int i = 0; i < n; ++i) positions[static_cast<std::size_t>(i)] = s.keys[static_cast<std::size_t>(i)].position;
    if (n > 1) {
        cv::Mat normal = cv::Mat::zeros(n - 1, n - 1, CV_64F), right = cv::Mat::zeros(n - 1, 2, CV_64F);
        for (const Link& link : links) {
            const int a = link.first - 1, b = link.second - 1; // -1: the fixed first picture
            const double w = link.weight;
            if (a >= 0) normal.at<double>(a, a) += w;
            if (b >= 0) normal.at<double>(b, b) += w;
            if (a >= 0 && b >= 0) {
                normal.at<double>(a, b) -= w;
                normal.at<double>(b, a) -= w;
            }
            if (b >= 0) {
                right.at<double>(b, 0) += w * link.offset.x;
                right.at<double>(b, 1) += w * link.offset.y;
            }
            if (a >= 0) {
                right.at<double>(a, 0) -= w * link.offset.x;
                right.at<double>(a, 1) -= w * link.offset.y;
            }
        }
        cv::Mat solved;
        if (cv::solve(normal, right, solved, cv::DECOMP_CHOLESKY))
            for (int i = 1; i < n; ++i)
                positions[static_cast<std::size_t>(i)] = {solved.at<double>(i - 1, 0), solved.at<double>(i - 1, 1)};
    }

    // The pictures' agreement where they overlap, now placed.
    double squares = 0, samples = 0;
    for (std::size_t l = 0; l < static_cast<std::size_t>(assembled.pairs); ++l) {
        const Link& link = links[l];
        double count = 0;
        squares += OverlapDifference(greys[static_cast<std::size_t>(link.first)], greys[static_cast<std::size_t>(link.second)],
                                     positions[static_cast<std::size_t>(link.second)] -
                                         positions[static_cast<std::size_t>(link.first)],
                                     &count);
        samples += count;
    }
    assembled.overlapRms = samples > 0 ? std::sqrt(squares / samples) : 0;
    greys.clear();

    // Blending: each picture moved to its place (to a fraction of a pixel) and added with its
    // feathering weight; the sums divided by the weights. Uncovered background stays black.
    cv::Point2d low = positions.front(), high = positions.front();
    for (const cv::Point2d& p : positions) {
        low = {std::min(low.x, p.x), std::min(low.y, p.y)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y)};
    }
    // (A picture a hair above or left of the others does not earn the mosaic a row of its own.)
    const cv::Point2d origin(std::floor(low.x + 0.1), std::floor(low.y + 0.1));
    const cv::Size size(static_cast<int>(std::ceil(high.x - origin.x + s.frame.width - 0.1)),
                        static_cast<int>(std::ceil(high.y - origin.y + s.frame.height - 0.1)));
    if (size.width > s.options.maxSide || size.height > s.options.maxSide) return {};
    cv::Mat sums = cv::Mat::zeros(size, CV_32FC3), weights = cv::Mat::zeros(size, CV_32F);
    const cv::Mat feather = FeatherWeights(s.frame);
    const cv::Size placed(s.frame.width + 1, s.frame.height + 1);
    for (int i = 0; i < n; ++i) {
        const cv::Point2d offset = positions[static_cast<std::size_t>(i)] - origin;
        const cv::Point whole(static_cast<int>(std::floor(offset.x)), static_cast<int>(std::floor(offset.y)));
        const cv::Matx23d shift(1, 0, offset.x - whole.x, 0, 1, offset.y - whole.y);
        cv::Mat colour, weighted, movedColour, movedWeight;
        s.keys[static_cast<std::size_t>(i)].bgr.convertTo(colour, CV_32FC3);
        cv::Mat feather3;
        cv::merge(std::vector<cv::Mat>{feather, feather, feather}, feather3);
        weighted = colour.mul(feather3);
        cv::warpAffine(weighted, movedColour, shift, placed, cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar::all(0));
        cv::warpAffine(feather, movedWeight, shift, placed, cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0));
        // A picture between pixels reaches one pixel further, beyond the mosaic's last one.
        const cv::Rect target = cv::Rect(whole, placed) & cv::Rect(cv::Point(), size);
        if (!target.empty()) {
            const cv::Rect own(target.tl() - whole, target.size());
            sums(target) += movedColour(own);
            weights(target) += movedWeight(own);
        }
        if (progress && !progress(++done, total)) return {};
    }
    QImage picture(size.width, size.height, QImage::Format_RGB32);
    for (int y = 0; y < size.height; ++y) {
        const auto* sum = sums.ptr<cv::Vec3f>(y);
        const float* weight = weights.ptr<float>(y);
        auto* out = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < size.width; ++x) {
            if (weight[x] < 1e-8f) {
                out[x] = qRgb(0, 0, 0);
                continue;
            }
            const cv::Vec3f c = sum[x] / weight[x];
            out[x] = qRgb(std::clamp(static_cast<int>(c[2] + 0.5f), 0, 255), std::clamp(static_cast<int>(c[1] + 0.5f), 0, 255),
                          std::clamp(static_cast<int>(c[0] + 0.5f), 0, 255));
        }
    }
    assembled.picture = picture;
    for (const cv::Point2d& p : positions) assembled.positions.emplace_back(p.x - origin.x, p.y - origin.y);
    return assembled;
}
