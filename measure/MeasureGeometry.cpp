#include "measure/MeasureGeometry.h"

#include <algorithm>
#include <cmath>

namespace {

int Trunc(double value)
{
    return static_cast<int>(value); // toward zero
}

double Length(QPoint from, QPoint to)
{
    const double dx = to.x() - from.x();
    const double dy = to.y() - from.y();
    return std::sqrt(dx * dx + dy * dy);
}

// Circumcentre by perpendicular bisectors; none for collinear points.
std::optional<QPointF> Circumcentre(QPointF a, QPointF b, QPointF c)
{
    const double d = 2 * (a.x() * (b.y() - c.y()) + b.x() * (c.y() - a.y()) + c.x() * (a.y() - b.y()));
    if (d == 0) return std::nullopt;
    const double a2 = a.x() * a.x() + a.y() * a.y();
    const double b2 = b.x() * b.x() + b.y() * b.y();
    const double c2 = c.x() * c.x() + c.y() * c.y();
    return QPointF((a2 * (b.y() - c.y()) + b2 * (c.y() - a.y()) + c2 * (a.y() - b.y())) / d,
                   (a2 * (c.x() - b.x()) + b2 * (a.x() - c.x()) + c2 * (b.x() - a.x())) / d);
}

// The circle through the three points: the exact circumcentre, drawn at the nearest pixel;
// the radius from that exact centre to the first point, for the labels, and rounded for the
// outline.
std::optional<CircleGeometry> ThreePointCircle(QPointF p1, QPointF p2, QPointF p3)
{
    const auto centre = Circumcentre(p1, p2, p3);
    if (!centre) return std::nullopt; // collinear or repeated: no circle passes through them
    CircleGeometry circle;
    circle.centre = QPoint(static_cast<int>(std::lround(centre->x())), static_cast<int>(std::lround(centre->y())));
    circle.radius = std::hypot(p1.x() - centre->x(), p1.y() - centre->y());
    circle.drawnRadius = static_cast<int>(std::lround(circle.radius));
    return circle;
}

} // namespace

QPoint MidpointDiv2(QPoint a, QPoint b)
{
    return QPoint((a.x() + b.x()) / 2, (a.y() + b.y()) / 2);
}

int TruncatedLength(QPoint a, QPoint b)
{
    return Trunc(Length(a, b));
}

double PixelFactor(int pictureWidth, int pictureHeight)
{
    return pictureWidth == 1280 && pictureHeight == 1024 ? 2 * kPixelFactor : kPixelFactor;
}

std::optional<int> CalibrationRate(int typedRate, int pictureWidth, int pictureHeight)
{
    if (typedRate == 0) return std::nullopt;
    int a = typedRate;
    if (pictureWidth == 320 && pictureHeight == 240) a /= 4;
    else if (pictureWidth == 640 && pictureHeight == 480) a /= 2;
    const int rate = a <= 20 ? a : a - 3;
    if (rate <= 0) return std::nullopt;
    return rate;
}

double Millimetres(double pixels, double k, int rate)
{
    return pixels * k * 10 / rate;
}

double SquareMillimetres(double pixelArea, double k, int rate)
{
    return k * (pixelArea * k) * 100 / static_cast<double>(rate * rate);
}

double CircleSquareMillimetres(double radius, double k, int rate)
{
    return k * (radius * radius * k) * kHundredPi / static_cast<double>(rate * rate);
}

std::optional<CircleGeometry> CircleThroughThreePoints(QPoint p1, QPoint p2, QPoint p3)
{
    return ThreePointCircle(p1, p2, p3);
}

std::optional<CircleGeometry> CircleThroughThreePoints(QPointF p1, QPointF p2, QPointF p3)
{
    return ThreePointCircle(p1, p2, p3);
}

std::optional<std::pair<QPointF, double>> ExactCircleThrough(QPointF a, QPointF b, QPointF c)
{
    const auto centre = Circumcentre(a, b, c);
    if (!centre) return std::nullopt; // on one line
    return std::pair{*centre, std::hypot(a.x() - centre->x(), a.y() - centre->y())};
}

double AngleBetweenLines(QPointF p1, QPointF p2, QPointF p3, QPointF p4)
{
    const double a = p1.x(), b = p1.y(), c = p2.x(), d = p2.y();
    const double e = p3.x(), f = p3.y(), g = p4.x(), h = p4.y();
    const bool firstVertical = c - a == 0;
    const bool secondVertical = g - e == 0;
    double x = 0, y = 0;
    if (firstVertical && secondVertical) return 0;
    const double m1 = firstVertical ? 0 : (d - b) / (c - a);
    const double m2 = secondVertical ? 0 : (h - f) / (g - e);
    if (firstVertical) {
        x = a;
        y = h + (a - g) * m2;
    } else if (secondVertical) {
        x = e;
        y = d + m1 * (e - c);
    } else {
        if (m1 == m2) return 0;
        x = (d + (m2 * g - h - m1 * c)) / (m2 - m1);
        y = d + (x - c) * m1;
    }
    auto squared = [x, y](double px, double py) { return (px - x) * (px - x) + (py - y) * (py - y); };
    const double ux = (squared(c, d) >= squared(a, b) ? c : a) - x;
    const double uy = (squared(c, d) >= squared(a, b) ? d : b) - y;
    const double vx = (squared(g, h) >= squared(e, f) ? g : e) - x;
    const double vy = (squared(g, h) >= squared(e, f) ? h : f) - y;
    const double lengths = std::sqrt(ux * ux + uy * uy) * std::sqrt(vx * vx + vy * vy);
    if (lengths == 0) return 0; // an arm without length has no direction
    const double cosine = std::clamp((ux * vx + uy * vy) / lengths, -1.0, 1.0);
    return std::acos(cosine) * kDegreesPerRadian;
}

long PolygonPixelCount(const std::vector<QPoint>& vertices)
{
    if (vertices.size() < 3) return 0;
    int top = vertices[0].y(), bottom = top, left = vertices[0].x(), right = left;
    for (const QPoint& v : vertices) {
        top = std::min(top, v.y());
        bottom = std::max(bottom, v.y());
        left = std::min(left, v.x());
        right = std::max(right, v.x());
    }
    long count = 0;
    std::vector<double> crossings;
    crossings.reserve(vertices.size());
    const std::size_t n = vertices.size();
    for (int y = top; y < bottom; ++y) {
        const double sy = y + 0.5; // the pixel's centre line
        crossings.clear();
        for (std::size_t i = 0; i < n; ++i) {
            const QPoint& p = vertices[i];
            const QPoint& q = vertices[(i + 1) % n];
            if ((p.y() <= sy) == (q.y() <= sy)) continue;
            crossings.push_back(p.x() + (sy - p.y()) * (q.x() - p.x()) / static_cast<double>(q.y() - p.y()));
        }
        std::sort(crossings.begin(), crossings.end());
        // Even-odd: pixels whose centres lie between each pair of crossings.
        for (std::size_t i = 0; i + 1 < crossings.size(); i += 2) {
            const int from = std::max(left, static_cast<int>(std::ceil(crossings[i] - 0.5)));
            const int to = std::min(right - 1, static_cast<int>(std::ceil(crossings[i + 1] - 0.5)) - 1);
            if (to >= from) count += to - from + 1;
        }
    }
    return count;
}

QString DistanceLabel(double mm)
{
    return QString::asprintf("dist:%.2fmm", mm);
}
QString WidthLabel(double mm)
{
    return QString::asprintf("width:%.2fmm", mm);
}
QString RadiusLabel(double mm)
{
    return QString::asprintf("radius:%.2fmm", mm);
}
QString DiameterLabel(double mm)
{
    return QString::asprintf("diameter:%.2fmm", mm);
}
QString HeightLabel(double mm)
{
    return QString::asprintf("height:%.2fmm", mm);
}
QString AreaLabel(double mm2)
{
    return QString::asprintf("area:%.2fmm2", mm2);
}
QString AngleLabel(double degrees)
{
    return QString::asprintf("%.1f", degrees) + QChar(0x00B0);
}

ViewMapping LetterboxMapping(QSize picture, QSize view)
{
    if (picture.isEmpty() || view.isEmpty()) return {};
    const double scale = std::max(static_cast<double>(picture.width()) / view.width(),
                                  static_cast<double>(picture.height()) / view.height());
    return {scale,
            QPointF((view.width() - picture.width() / scale) / 2, (view.height() - picture.height() / scale) / 2)};
}

double NominalMillimetresPerPicturePixel(int rate, QSize picture, int viewWidth)
{
    if (rate <= 0 || picture.width() <= 0 || viewWidth <= 0) return 0;
    const double perViewPixel = Millimetres(1, PixelFactor(picture.width(), picture.height()), rate);
    return perViewPixel * viewWidth / picture.width();
}

namespace {

// Lengths on the picture itself: view points mapped onto it, one square pixel size.
class PictureMeasure {
public:
    explicit PictureMeasure(const Calibration& c) : c_(c) {}
    QPointF OnPicture(QPoint v) const { return c_.mapping.ToPicture(v); }
    double Millimetres(double picturePixels) const { return picturePixels * c_.millimetresPerPicturePixel; }
    double Length(QPoint a, QPoint b) const
    {
        const QPointF d = OnPicture(a) - OnPicture(b);
        return Millimetres(std::hypot(d.x(), d.y()));
    }
    double Area(double viewPixels) const
    {
        const double m = c_.millimetresPerPicturePixel * c_.mapping.scale;
        return viewPixels * m * m;
    }
    QString LengthLabel(const char* what, double mm) const
    {
        return c_.unit == LengthUnit::Micrometre
                   ? QString::asprintf("%s:%.1f", what, mm * 1000) + QStringLiteral("\u00B5m")
                   : QString::asprintf("%s:%.2fmm", what, mm);
    }
    QString AreaLabel(double mm2) const
    {
        return c_.unit == LengthUnit::Micrometre
                   ? QString::asprintf("area:%.1f", mm2 * 1e6) + QStringLiteral("\u00B5m2")
                   : QString::asprintf("area:%.2fmm2", mm2);
    }

private:
    const Calibration& c_;
};

} // namespace

std::optional<std::vector<QString>> MeasureLabels(ShapeKind kind, const std::vector<QPoint>& p, const Calibration& c)
{
    const PictureMeasure m(c);
    auto need = [&p](std::size_t n) { return p.size() >= n; };
    constexpr double pi = 3.14159265358979;
    switch (kind) {
    case ShapeLine:
        if (!need(2)) return std::nullopt;
        return std::vector<QString>{m.LengthLabel("dist", m.Length(p[0], p[1]))};
    case ShapeContinuousLine: {
        std::vector<QString> labels;
        for (std::size_t i = 0; i + 1 < p.size(); ++i)
            labels.push_back(m.LengthLabel("dist", m.Length(p[i], p[i + 1])));
        return labels;
    }
    case ShapeRectangle: {
        if (!need(2)) return std::nullopt;
        const double width = m.Length(p[0], QPoint(p[1].x(), p[0].y()));
        const double height = m.Length(p[0], QPoint(p[0].x(), p[1].y()));
        return std::vector<QString>{m.AreaLabel(width * height), m.LengthLabel("width", width),
                                    m.LengthLabel("height", height)};
    }
    case ShapeRadiusCircle: {
        if (!need(2)) return std::nullopt;
        const double radius = m.Length(p[0], p[1]);
        return std::vector<QString>{m.AreaLabel(pi * radius * radius), m.LengthLabel("radius", radius)};
    }
    case ShapeDiameterCircle: {
        if (!need(2)) return std::nullopt;
        const double diameter = m.Length(p[0], p[1]);
        return std::vector<QString>{m.AreaLabel(pi * diameter * diameter / 4), m.LengthLabel("diameter", diameter)};
    }
    case ShapeThreePointCircle: {
        if (!need(3)) return std::nullopt;
        const auto circle = CircleThroughThreePoints(m.OnPicture(p[0]), m.OnPicture(p[1]), m.OnPicture(p[2]));
        if (!circle) return std::nullopt;
        const double radius = m.Millimetres(circle->radius);
        return std::vector<QString>{m.AreaLabel(pi * radius * radius), m.LengthLabel("radius", radius)};
    }
    case ShapePolygon: return std::vector<QString>{m.AreaLabel(m.Area(static_cast<double>(PolygonPixelCount(p))))};
    case ShapeAngle:
        if (!need(3)) return std::nullopt;
        return std::vector<QString>{
            AngleLabel(AngleBetweenLines(m.OnPicture(p[2]), m.OnPicture(p[0]), m.OnPicture(p[2]), m.OnPicture(p[1])))};
    case ShapeFourPointAngle:
        if (!need(4)) return std::nullopt;
        return std::vector<QString>{
            AngleLabel(AngleBetweenLines(m.OnPicture(p[0]), m.OnPicture(p[1]), m.OnPicture(p[2]), m.OnPicture(p[3])))};
    case ShapeText:
    case ShapeCountMark: return std::vector<QString>{}; // a mark's number is given when it is placed
    case ShapeCaliper: return std::nullopt;             // read on the picture: CaliperLabel
    }
    return std::nullopt;
}

QString CaliperLabel(double picturePixels, const Calibration& c)
{
    // A tenth of a micrometre or of a thousandth of a millimetre: the caliper reads finer
    // than a line drawn by hand.
    const double mm = picturePixels * c.millimetresPerPicturePixel;
    return c.unit == LengthUnit::Micrometre ? QString::asprintf("caliper:%.2f", mm * 1000) + QStringLiteral("\u00B5m")
                                            : QString::asprintf("caliper:%.4fmm", mm);
}

std::vector<QPoint> LabelPositions(const MeasureShape& shape)
{
    const auto& p = shape.points;
    const QPoint below(0, 12);
    switch (shape.kind) {
    case ShapeText:
    case ShapeCountMark:
        if (!p.empty()) return {p[0]};
        break;
    case ShapeLine:
    case ShapeCaliper:
        if (p.size() >= 2) return {MidpointDiv2(p[0], p[1])};
        break;
    case ShapeContinuousLine: {
        std::vector<QPoint> positions;
        for (std::size_t i = 0; i + 1 < p.size(); ++i) positions.push_back(MidpointDiv2(p[i], p[i + 1]));
        return positions;
    }
    case ShapePolygon:
        if (!p.empty()) return {p.back()};
        break;
    case ShapeAngle:
        if (p.size() >= 3) return {p[2]};
        break;
    case ShapeRadiusCircle:
        if (!p.empty()) return {p[0], p[0] + below};
        break;
    case ShapeDiameterCircle:
    case ShapeRectangle:
        if (p.size() >= 2) return {MidpointDiv2(p[0], p[1]), MidpointDiv2(p[0], p[1]) + below};
        break;
    case ShapeThreePointCircle:
        if (p.size() >= 3) {
            if (const auto circle = CircleThroughThreePoints(p[0], p[1], p[2]))
                return {circle->centre, circle->centre + below};
        }
        break;
    case ShapeFourPointAngle:
        if (p.size() >= 4) return {MidpointDiv2(MidpointDiv2(p[0], p[1]), MidpointDiv2(p[2], p[3]))};
        break;
    }
    return {};
}
