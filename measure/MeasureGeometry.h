#pragma once
// The arithmetic behind the measuring tools: calibration, lengths and areas in millimetres,
// the circle through three points, the angle between two lines, the polygon's pixel count,
// the label texts and where the labels go. Pure functions.

#include "measure/MeasureShape.h"
#include "measure/StageCalibration.h"

#include <QPoint>
#include <QPointF>
#include <QSize>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

constexpr double kPixelFactor = 0.02963;
constexpr double kHundredPi = 314.15926;
constexpr double kDegreesPerRadian = 57.295780490442965;

// The midpoint with each coordinate halved toward zero, and a length cut to a whole number.
QPoint MidpointDiv2(QPoint a, QPoint b);
int TruncatedLength(QPoint a, QPoint b);

// K: the millimetres of one view pixel at magnification 1 (doubled for 1280 x 1024 pictures,
// which the view shows at half size).
double PixelFactor(int pictureWidth, int pictureHeight);

// R from the typed magnification: divided by 4 for a 320 x 240 picture and by 2 for a
// 640 x 480 one, then less 3 above 20. None when it comes out 0 or below: there is no
// sensible millimetre value for such a rate, so the tool is refused like an empty box.
std::optional<int> CalibrationRate(int typedRate, int pictureWidth, int pictureHeight);

double Millimetres(double pixels, double k, int rate);
double SquareMillimetres(double pixelArea, double k, int rate);
double CircleSquareMillimetres(double radius, double k, int rate);

struct CircleGeometry {
    QPoint centre;       // the exact centre rounded to the nearest pixel
    double radius = 0;   // exact, for the labels
    int drawnRadius = 0; // rounded, for the outline
};

// The circle through three points, on view coordinates. None for collinear (or repeated)
// points, through which no circle passes.
std::optional<CircleGeometry> CircleThroughThreePoints(QPoint p1, QPoint p2, QPoint p3);
// The same on real coordinates (mapped points when saving).
std::optional<CircleGeometry> CircleThroughThreePoints(QPointF p1, QPointF p2, QPointF p3);
// The same with its centre and radius as they are (for files and live measuring): centre, radius.
std::optional<std::pair<QPointF, double>> ExactCircleThrough(QPointF a, QPointF b, QPointF c);

// The angle in degrees (0..180) between the line (a, b) and the line (c, d), measured at
// their intersection towards the farther end of each. Parallel lines give 0, and so does
// an arm of zero length, which has no direction.
double AngleBetweenLines(QPointF a, QPointF b, QPointF c, QPointF d);

// Pixels inside the polygon by the even-odd rule (pixel centres tested).
long PolygonPixelCount(const std::vector<QPoint>& vertices);

QString DistanceLabel(double millimetres);
QString WidthLabel(double millimetres);
QString RadiusLabel(double millimetres);
QString DiameterLabel(double millimetres);
QString HeightLabel(double millimetres);
QString AreaLabel(double squareMillimetres);
QString AngleLabel(double degrees);

// Where the picture lies in the view: its top-left corner in view coordinates and the
// picture pixels per view pixel, the same across and down (camera pixels are square, so the
// picture is shown with its shape kept).
struct ViewMapping {
    double scale = 1;
    QPointF origin;

    QPointF ToPicture(QPointF view) const { return (view - origin) * scale; }
    QPointF ToView(QPointF picture) const { return picture / scale + origin; }
};

// The view that shows a picture of `picture` size whole and undistorted in `view`, centred.
ViewMapping LetterboxMapping(QSize picture, QSize view);

// Millimetres per picture pixel from the nominal factor and the rate R above: the factor of
// one pixel of a view `viewWidth` wide that stretches the picture across it, brought to the
// picture's own pixels.
// Horizontal lengths read as that stretched view gives them; vertical ones now read the same.
double NominalMillimetresPerPicturePixel(int rate, QSize picture, int viewWidth);

struct Calibration {
    // Millimetres of one picture pixel: from a stage calibration or the nominal factor.
    double millimetresPerPicturePixel = 0;
    ViewMapping mapping;
    LengthUnit unit = LengthUnit::Millimetre;
};

// The labels of a measuring shape, in stored order. Empty when the shape cannot be measured
// (a three-point circle through collinear points).
std::optional<std::vector<QString>> MeasureLabels(ShapeKind kind, const std::vector<QPoint>& points,
                                                  const Calibration& calibration);
// A caliper's label: its distance across the edges, in picture pixels, in the calibration's unit.
QString CaliperLabel(double picturePixels, const Calibration& calibration);

// Where the labels go, in view coordinates, in label order.
std::vector<QPoint> LabelPositions(const MeasureShape& shape);
