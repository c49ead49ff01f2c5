#pragma once
// Draws what the simulated microscope "sees": a stained tissue sample (cells with nuclei,
// fibres, granules) under bright-field light, drifting slowly as if the slide were not
// quite still. The specimen is the same at every capture size (it covers the same field
// of view), so pictures taken at different resolutions show the same cells.

#include <cstddef>
#include <cstdint>
#include <vector>

// What lies under the simulated microscope.
enum class Slide {
    Tissue,          // the stained tissue sample
    StageMicrometer, // a 1 mm ruler in 0.01 mm divisions, for calibrating
};

// The simulated microscope's field of view is this wide at every capture size (what a
// 200X view of a real one spans): a 1280-pixel frame shows 0.00125 mm per pixel.
constexpr double kSimulatedFieldWidthMillimetres = 1.6;

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
    void RenderFrame(double seconds, std::uint8_t* out, const std::uint8_t* lut) const;

private:
    int width_ = 0;
    int height_ = 0;
    Slide slide_ = Slide::Tissue;
    int margin_ = 0;
    int textureWidth_ = 0;
    int textureHeight_ = 0;
    std::vector<std::uint8_t> texture_; // top-down BGR, tightly packed
};
