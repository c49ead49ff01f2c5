#pragma once
// Heights from a focus stack taken by hand. The lens of a USB microscope is not telecentric:
// the picture grows a little as the focus turns, and the stack's alignment measures that
// growth for every picture. Calibrated once (the growth per micrometre of focus travel), it
// gives each picture's focus distance without a motorised focus. Each pixel's height is
// where its focus curve (the fine detail's energy over the pictures) peaks, refined between
// pictures by a parabola through the peak and its neighbours. Where no picture is clearly
// sharper than the others (no texture) the height is unknown, not invented; where the data
// is weak it is taken from the neighbours, and edges are kept (a median, not a blur).

#include <QImage>
#include <QPointF>

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

class FocusStack;

// The built-in growth per micrometre, where there is no height calibration.
inline constexpr double kNominalGrowthPerMicrometre = 1e-4;
// The built-in focus travel per unit of a motorised focus's control (cameras give it in
// units of their own), where there is no height calibration.
inline constexpr double kNominalMicrometresPerFocusUnit = 1;

// The growth of the picture per micrometre of focus travel at one magnification, and, for a
// motorised focus, the travel per unit of its control.
struct HeightScale {
    double growthPerMicrometre = 0;
    bool nominal = true; // not calibrated: the built-in value
    // Its own uncertainty, as a share of every height (a calibration's repeatability).
    double relativeUncertainty = 0.02;
    double micrometresPerFocusUnit = kNominalMicrometresPerFocusUnit;
    bool focusUnitNominal = true;
    double focusUnitUncertainty = 0.2;
};

struct HeightMap {
    int width = 0;
    int height = 0;
    std::vector<float> micrometres;       // per pixel, NaN where unknown; 0 at the lowest known point
    std::vector<float> uncertainty;       // per pixel, micrometres (one standard uncertainty, doubled: ~95 %)
    std::vector<double> frameMicrometres; // the focus curve's levels (pictures at one distance), in order
    double micrometresPerPixel = 0;       // across (from the length calibration); 0: unknown
    bool nominal = true;                  // heights from the built-in growth, not a calibration
    bool fromFocusPositions = false;      // the distances are a motorised focus's positions, not the growth

    bool Empty() const { return width <= 0 || height <= 0; }
    bool Known(int x, int y) const { return Inside(x, y) && !std::isnan(micrometres[Index(x, y)]); }
    float At(int x, int y) const
    {
        return Inside(x, y) ? micrometres[Index(x, y)] : std::numeric_limits<float>::quiet_NaN();
    }
    float UncertaintyAt(int x, int y) const { return Inside(x, y) ? uncertainty[Index(x, y)] : 0; }
    // The share of pixels with a height.
    double KnownShare() const;
    // The lowest and highest known heights.
    std::pair<float, float> Range() const;
    // Along the line from `a` to `b`: (distance along, height, uncertainty) every pixel; NaN
    // where unknown.
    struct ProfilePoint {
        double along = 0;
        float height = 0;
        float uncertainty = 0;
    };
    std::vector<ProfilePoint> Profile(QPointF a, QPointF b) const;
    // The height at a point as the median over a small neighbourhood (a click is never exact);
    // none where it is unknown there.
    std::optional<std::pair<float, float>> HeightNear(QPointF at, int radius = 3) const;
    // The heights as a grey picture (low dark, high light, unknown black) for a quick look.
    QImage AsGrey() const;

private:
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    std::size_t Index(int x, int y) const { return static_cast<std::size_t>(y) * width + x; }
};

// The heights of a stack that kept its aligned pictures (at least three): none when it has
// too few. Where a motorised focus gave the pictures' positions (three or more different
// ones), they tell the distances; else the growth does.
std::optional<HeightMap> HeightsOf(const FocusStack& stack, const HeightScale& scale);
