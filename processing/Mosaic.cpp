#include "processing/Mosaic.h"

#include "processing/CvImages.h"
#include "processing/Detail.h"
#include "processing/MosaicAssembly.h"
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

} // namespace

struct Mosaic::State {
    Options options;
    cv::Size frame;
    int reduction = 1;
    std::vector<Key> keys;
    std::vector<MosaicLink> links;                          // from tracking: how each key picture was placed
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

    cv::Rect2d BoundsWith(cv::Point2d position) const { return bounds | cv::Rect2d(position, cv::Size2d(frame)); }

    bool WithinLimits(const cv::Rect2d& box, int keyCount) const
    {
        const QSize size(static_cast<int>(std::ceil(box.width)) + 1, static_cast<int>(std::ceil(box.height)) + 1);
        return size.width() <= options.maxSide && size.height() <= options.maxSide &&
               BytesFor(size, QSize(frame.width, frame.height), keyCount) <= options.maxBytes;
    }

    void Keep(cv::Mat bgr, cv::Mat reduced, cv::Point2d position, int from, double peak)
    {
        Key key;
        cv::resize(bgr, key.thumb,
                   cv::Size(std::max(1, frame.width / kThumbReduction), std::max(1, frame.height / kThumbReduction)), 0,
                   0, cv::INTER_AREA);
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
    // The kept pictures, then the assembly's band of sums and the result.
    return qint64(keys) * frame.width() * frame.height() * 3 + BlendBytes(mosaic);
}

Mosaic::Step Mosaic::Add(const QImage& picture)
{
    State& s = *state_;
    cv::Mat bgr = BgrMatOf(picture);
    if (bgr.empty()) return Step::WrongSize;
    if (s.keys.empty()) {
        s.frame = bgr.size();
        s.reduction = std::max(1, (bgr.cols + kTrackWidth - 1) / kTrackWidth);
        cv::Mat reduced = ReducedGrey(Grey(bgr), s.reduction);
        if (HasNoDetail(reduced)) {
            s.lost = LostReason::Blank;
            return Step::Lost;
        }
        s.Keep(std::move(bgr), std::move(reduced), {0, 0}, -1, 0);
        s.view = {0, 0};
        s.lost = LostReason::None;
        return Step::First;
    }
    if (bgr.size() != s.frame) return Step::WrongSize;

    cv::Mat reduced = ReducedGrey(Grey(bgr), s.reduction);
    if (HasNoDetail(reduced)) {
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
                            s.frame) <= 1 - kMinMosaicOverlap)
                candidates.emplace_back(i, j);
    const int total = static_cast<int>(candidates.size()) + n;
    int done = 0;
    std::vector<MosaicLink> links;
    for (const auto& [i, j] : candidates) {
        cv::Point2d measured;
        double peak = 0;
        const cv::Point2d tracked =
            s.keys[static_cast<std::size_t>(j)].position - s.keys[static_cast<std::size_t>(i)].position;
        if (MeasureOverlapOffset(greys[static_cast<std::size_t>(i)], greys[static_cast<std::size_t>(j)], tracked,
                                 &measured, &peak))
            links.push_back({i, j, measured, peak});
        if (progress && !progress(++done, total)) return {};
    }
    assembled.pairs = static_cast<int>(links.size());
    // Tracking's own links keep every picture tied in, weakly, where no overlap was measured.
    for (MosaicLink link : s.links) {
        link.weight *= 0.1;
        links.push_back(link);
    }
    std::vector<cv::Point2d> start;
    for (const Key& key : s.keys) start.push_back(key.position);
    const std::vector<cv::Point2d> positions = SolveMosaicPositions(n, links, start);

    // The pictures' agreement where they overlap, now placed.
    double squares = 0, samples = 0;
    for (std::size_t l = 0; l < static_cast<std::size_t>(assembled.pairs); ++l) {
        const MosaicLink& link = links[l];
        double count = 0;
        squares += OverlapSquares(
            greys[static_cast<std::size_t>(link.first)], greys[static_cast<std::size_t>(link.second)],
            positions[static_cast<std::size_t>(link.second)] - positions[static_cast<std::size_t>(link.first)], &count);
        samples += count;
    }
    assembled.overlapRms = samples > 0 ? std::sqrt(squares / samples) : 0;
    greys.clear();

    int blendedPictures = 0;
    BlendedMosaic blended = BlendMosaic(
        n, [&](int i) { return s.keys[static_cast<std::size_t>(i)].bgr; }, s.frame, positions, {}, s.options.maxSide,
        [&] {
            // (A picture may serve more than one band: the count stops short of the total.)
            return !progress || progress(std::min(done + ++blendedPictures, total - 1), total);
        });
    if (progress && !blended.picture.isNull()) progress(total, total);
    assembled.picture = blended.picture;
    if (blended.picture.isNull()) return assembled;
    assembled.positions = std::move(blended.positions);
    return assembled;
}
