#pragma once
// Draws what the simulated microscope "sees": a stained tissue sample (cells with nuclei,
// fibres, granules) under bright-field light, drifting slowly as if the slide were not
// quite still. The specimen is the same at every capture size (it covers the same field
// of view), so pictures taken at different resolutions show the same cells.

#include "capture/backend/ReliefSlide.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// What lies under the simulated microscope.
enum class Slide {
    Tissue,          // the stained tissue sample
    StageMicrometer, // a 1 mm ruler in 0.01 mm divisions, for calibrating
    Relief,          // a circuit board with raised components: sharp only where focused
    Stage,           // the tissue sample on a stage, several fields each way, moved by the stage
};

// The stage slide spans this many fields of view across and down; the stage moves the field
// over it (its top-left from 0 to the slide's size less one field).
constexpr int kStageFieldsAcross = 5, kStageFieldsDown = 4;
// The stage's position in micrometres (a field is 1600 um wide).
struct StagePosition {
    int x = 0, y = 0;
};

// The simulated microscope's field of view is this wide at every capture size (what a
// 200X view of a real one spans): a 1280-pixel frame shows 0.00125 mm per pixel.
constexpr double kSimulatedFieldWidthMillimetres = 1.6;

// How the simulated microscope's optics and lamp treat the slide, frame by frame.
struct SimulatedOptics {
    bool unevenLamp = false;         // vignetting and a brightness gradient, as a real lamp gives
    bool blankField = false;         // an empty area of the slide (clear glass)
    int focus = kSimulatedBestFocus; // the focus knob: sharp at the best position, blurred away from it
                                     // (on the relief specimen: at each point's own height)
    StagePosition stage;             // where the stage holds the slide (the stage slide)
    static constexpr int kMinFocus = 0, kMaxFocus = 100;
    // The blur radius (in pixels of a frame `width` wide) at this focus position.
    int BlurRadius(int width) const;
    static constexpr int kSimulatedBestFocus = 50;
};

class SlideRenderer {
public:
    // Prepares the slide for frames of width x height (draws it once; frames are crops).
    void Prepare(int width, int height, Slide slide = Slide::Tissue);

    int Width() const { return width_; }
    int Height() const { return height_; }
    static std::size_t StrideOf(int width) { return (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3}; }
    std::size_t FrameBytes() const { return StrideOf(width_) * static_cast<std::size_t>(height_); }

    // Writes the frame at stream time `seconds` as top-down BGR rows into `out`
    // (FrameBytes() long). `lut` maps every byte (brightness, contrast, gamma); null = none.
    void RenderFrame(double seconds, std::uint8_t* out, const std::uint8_t* lut,
                     const SimulatedOptics& optics = {}) const;

    // The relief slide, for its truth (heights, scale per focus step).
    const ReliefSlide& Relief() const { return relief_; }
    // The uneven lamp's brightness at a frame pixel (1: full), the truth a flat-field
    // correction should recover.
    double LampGain(int x, int y) const;
    // The stage slide: the field's top-left on the slide, in pixels of the frame (a stage
    // stands between pixels as often as not), for a stage position kept within the stage's
    // travel. The truth a mosaic should recover.
    struct Offset {
        double x = 0, y = 0;
    };
    Offset StageOffset(StagePosition stage) const;
    // The camera's exposure at a stream time (1: as set): a flicker of about 2 %, and on the
    // stage a drift of 6 % besides.
    static double ExposureAt(double seconds, bool drifting);
    // The clear glass's colour (BGR) where the slide is blank.
    static constexpr std::uint8_t kBlankBlue = 226, kBlankGreen = 232, kBlankRed = 236;

private:
    int width_ = 0;
    int height_ = 0;
    Slide slide_ = Slide::Tissue;
    int margin_ = 0;
    int textureWidth_ = 0;
    int textureHeight_ = 0;
    std::shared_ptr<const std::vector<std::uint8_t>> texture_; // top-down BGR, tightly packed; shared
    std::vector<std::uint16_t> lamp_;                          // the uneven lamp per frame pixel, 1.0 = 256
    std::vector<std::uint16_t> stageLamp_;                     // the stage microscope's slight vignette, likewise
    std::vector<std::int8_t> noise_; // fixed sensor noise per frame pixel, for the blank field
    ReliefSlide relief_;             // the relief slide, when it is the one under the lens
};
