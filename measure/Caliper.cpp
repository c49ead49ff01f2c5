#include "measure/Caliper.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kBandHalfWidth = 4;              // the profile averages 9 pixels across the line
constexpr int kStepsPerPixel = 4;              // and is sampled every quarter pixel along it
constexpr double kSmoothing = 1.0;             // pixels: the profile's noise smoothed before its slope
constexpr double kEdgeShareOfStrongest = 0.35; // weaker slopes are texture, not edges
constexpr double kLeastSlope = 3;              // grey levels a pixel, above the noise

// The picture's grey at a point between pixels (bilinear), the border repeated; only the
// part of the picture around the line is made grey.
class GreyPicture {
public:
    GreyPicture(const QImage& picture, QPointF start, QPointF end, int margin)
    {
        const QRect around = QRectF(start, end).normalized().toAlignedRect().adjusted(-margin, -margin, margin, margin);
        const QRect part = around.intersected(picture.rect());
        if (part.isEmpty()) return;
        origin_ = QPointF(part.topLeft());
        grey_ = picture.copy(part).convertToFormat(QImage::Format_Grayscale8);
    }
    double At(QPointF picturePoint) const
    {
        const QPointF p = picturePoint - origin_;
        const double x = std::clamp(p.x(), 0.0, grey_.width() - 1.0), y = std::clamp(p.y(), 0.0, grey_.height() - 1.0);
        const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
        const int x1 = std::min(x0 + 1, grey_.width() - 1), y1 = std::min(y0 + 1, grey_.height() - 1);
        const double fx = x - x0, fy = y - y0;
        const uchar* top = grey_.constScanLine(y0);
        const uchar* bottom = grey_.constScanLine(y1);
        return (top[x0] * (1 - fx) + top[x1] * fx) * (1 - fy) + (bottom[x0] * (1 - fx) + bottom[x1] * fx) * fy;
    }
    // The direction across the edge at a point (a unit vector, its sign either way): the
    // strongest direction of the slopes around it (their structure tensor over 7 x 7
    // pixels), which a thin line's two opposite edges agree on rather than cancel.
    QPointF Normal(QPointF p) const
    {
        double xx = 0, xy = 0, yy = 0;
        for (int dy = -3; dy <= 3; ++dy)
            for (int dx = -3; dx <= 3; ++dx) {
                const QPointF q = p + QPointF(dx, dy);
                const double gx = At(q + QPointF(1, 0)) - At(q - QPointF(1, 0));
                const double gy = At(q + QPointF(0, 1)) - At(q - QPointF(0, 1));
                xx += gx * gx;
                xy += gx * gy;
                yy += gy * gy;
            }
        if (xx + yy <= 0) return {};
        const double angle = 0.5 * std::atan2(2 * xy, xx - yy);
        return {std::cos(angle), std::sin(angle)};
    }
    bool IsNull() const { return grey_.isNull(); }

private:
    QImage grey_;
    QPointF origin_;
};

} // namespace

std::optional<CaliperReading> MeasureWithCaliper(const QImage& picture, QPointF start, QPointF end)
{
    // The band across the line, and the neighbourhood each edge's direction is read from.
    const GreyPicture grey(picture, start, end, kBandHalfWidth + 6);
    const double length = std::hypot(end.x() - start.x(), end.y() - start.y());
    if (grey.IsNull() || length < 3) return std::nullopt;
    const QPointF along = (end - start) / length;
    const QPointF across(-along.y(), along.x());
    // The profile, a sample every quarter pixel, each the mean of a band across the line,
    // smoothed a little so that the slope's peaks stand clear of the noise.
    const int samples = static_cast<int>(std::floor(length * kStepsPerPixel)) + 1;
    std::vector<double> raw(static_cast<std::size_t>(samples));
    for (int i = 0; i < samples; ++i) {
        double sum = 0;
        const QPointF at = start + along * (static_cast<double>(i) / kStepsPerPixel);
        for (int k = -kBandHalfWidth; k <= kBandHalfWidth; ++k) sum += grey.At(at + across * k);
        raw[static_cast<std::size_t>(i)] = sum / (2 * kBandHalfWidth + 1);
    }
    const double sigma = kSmoothing * kStepsPerPixel;
    const int reach = static_cast<int>(std::ceil(3 * sigma));
    std::vector<double> kernel;
    for (int k = -reach; k <= reach; ++k) kernel.push_back(std::exp(-0.5 * k * k / (sigma * sigma)));
    std::vector<double> profile(raw.size());
    for (int i = 0; i < samples; ++i) {
        double sum = 0, weights = 0;
        for (int k = -reach; k <= reach; ++k)
            if (const int j = i + k; j >= 0 && j < samples) {
                sum += kernel[static_cast<std::size_t>(k + reach)] * raw[static_cast<std::size_t>(j)];
                weights += kernel[static_cast<std::size_t>(k + reach)];
            }
        profile[static_cast<std::size_t>(i)] = sum / weights;
    }
    // Grey levels a pixel.
    std::vector<double> slope(profile.size(), 0);
    for (std::size_t i = 1; i + 1 < profile.size(); ++i)
        slope[i] = (profile[i + 1] - profile[i - 1]) * kStepsPerPixel / 2;
    double strongest = 0;
    for (const double s : slope) strongest = std::max(strongest, std::abs(s));
    const double least = std::max(kLeastSlope, kEdgeShareOfStrongest * strongest);

    CaliperReading reading;
    for (std::size_t i = 1; i + 1 < slope.size(); ++i) {
        const double a = std::abs(slope[i - 1]), b = std::abs(slope[i]), c = std::abs(slope[i + 1]);
        if (b < least || b < a || b <= c) continue;
        // The edge between samples: the centre of the slope's peak above half its height
        // (many samples weigh in, so noise moves it little).
        const double half = b / 2;
        const bool rising = slope[i] > 0;
        auto above = [&](std::size_t j) { return (rising ? slope[j] : -slope[j]) - half; };
        std::size_t low = i, high = i;
        while (low > 0 && above(low - 1) > 0) --low;
        while (high + 1 < slope.size() && above(high + 1) > 0) ++high;
        double sum = 0, weights = 0;
        for (std::size_t j = low; j <= high; ++j) {
            sum += above(j) * static_cast<double>(j);
            weights += above(j);
        }
        CaliperEdge edge;
        edge.along = (weights > 0 ? sum / weights : static_cast<double>(i)) / kStepsPerPixel;
        edge.at = start + along * edge.along;
        edge.polarity = slope[i] > 0 ? 1 : -1;
        edge.slope = b;
        reading.edges.push_back(edge);
    }
    if (reading.edges.size() < 2) return std::nullopt;
    const CaliperEdge& first = reading.edges.front();
    const CaliperEdge* last = &reading.edges.back();
    for (auto edge = reading.edges.rbegin(); edge != reading.edges.rend(); ++edge)
        if (&*edge != &first && edge->polarity == first.polarity) {
            last = &*edge;
            break;
        }
    reading.from = first.at;
    reading.to = last->at;
    // Across the edges: along their normal (the two normals averaged, pointing the same way).
    QPointF normal = grey.Normal(first.at);
    QPointF other = grey.Normal(last->at);
    if (normal.x() * other.x() + normal.y() * other.y() < 0) other = -other;
    normal += other;
    const double norm = std::hypot(normal.x(), normal.y());
    const QPointF span = reading.to - reading.from;
    const double straight = std::hypot(span.x(), span.y());
    reading.pixels = norm > 0 ? std::abs(span.x() * normal.x() + span.y() * normal.y()) / norm : straight;
    // Edges that are not parallel have no distance across them; the straight one is taken.
    if (norm > 0 && reading.pixels < 0.5 * straight) reading.pixels = straight;
    return reading;
}
