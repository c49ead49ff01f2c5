#pragma once
// A specimen with relief for the simulated microscope: a circuit board whose surface rises
// from left to right, with raised dark components on it, textured everywhere. Each point is
// sharp only when the focus knob stands at its height, blurred more the further it is, and
// the picture grows slightly with each step of the knob, as with real optics. The heights
// and the growth are known, so focus stacking is tested against the truth. In the lower left
// corner lies a coverslip with a frosted top, a step of known height for calibrating heights.

#include <cstddef>
#include <cstdint>
#include <vector>

class ReliefSlide {
public:
    // Blur radius (pixels of a 1280-wide frame) per unit of distance from focus.
    static constexpr double kBlurPerHeight = 0.35;
    // The picture's growth per step of the focus knob (0.1 % a step: 1 % over ten).
    static constexpr double kScalePerFocusStep = 0.001;
    static constexpr int kReferenceFocus = 50; // where the picture has its nominal size
    // The knob's travel per step: the picture grows 0.1 % per 10 µm (1e-4 a micrometre, the
    // program's nominal growth), so heights from the growth can be checked in micrometres.
    static constexpr double kMicrometresPerFocusStep = 10;
    // The coverslip (0.17 mm, 17 steps above the board it lies on): left of `kCoverslipRight`
    // and below `kCoverslipTop` (1280 x 1024 units), reaching beyond the field's corner.
    static constexpr int kCoverslipSteps = 17;
    static constexpr int kCoverslipRight = 230;
    static constexpr int kCoverslipTop = 930;

    void Prepare(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }

    // Writes the frame at focus position `focus` (0..100) as top-down BGR rows, `stride`
    // bytes apart.
    void Render(int focus, std::uint8_t* out, std::size_t stride) const;
    // The truth for all in focus: the frame at `focus`'s scale with every point sharp.
    void RenderSharp(int focus, std::uint8_t* out, std::size_t stride) const;

    // The truth: the height (0..100, the focus position that shows it sharp) of the specimen
    // point at `x`, `y` of a frame taken at the reference focus; and the picture's scale at a
    // focus position (about the frame's centre).
    int HeightAt(int x, int y) const;
    static double ScaleAt(int focus) { return 1.0 + kScalePerFocusStep * (focus - kReferenceFocus); }
    // Whether the point has texture (and not a component's plain edge band).
    bool IsTextured(int x, int y) const;

private:
    // The specimen in focus at board point (fx, fy), between its points; BGR.
    void SharpAt(double fx, double fy, std::uint8_t* bgr) const;

    int width_ = 0, height_ = 0;
    int margin_ = 0;                         // board beyond the field on every side
    int boardWidth_ = 0;                     // the field's width and the margins
    std::vector<std::uint8_t> sharp_;        // the board in focus everywhere, BGR, boardWidth_ * 3 a row
    std::vector<std::uint8_t> heights_;      // per board pixel
    std::vector<std::uint8_t> boardHeights_; // the board's own height beneath the components too
    std::vector<std::uint8_t> componentOf_;  // 0 for the board, k + 1 on component k
};
