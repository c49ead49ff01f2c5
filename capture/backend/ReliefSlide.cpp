#include "capture/backend/ReliefSlide.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace {

struct Component {
    int left, top, right, bottom; // in 1280 x 1024 units
    int height;
};

// The components standing on the board (1280 x 1024 units), and their heights.
constexpr Component kComponents[] = {
    {180, 160, 420, 330, 88}, {560, 120, 700, 460, 80},  {860, 220, 1120, 380, 92},
    {240, 620, 380, 900, 84}, {720, 640, 1080, 860, 90},
};

// Sums over a (2 radius + 1) square window, in place, on `channels` ints a pixel; outside the
// picture counts as 0.
void BoxSum(int* values, int channels, int width, int height, int radius)
{
    if (radius <= 0) return;
    std::vector<int> line(static_cast<std::size_t>(std::max(width, height)) * channels);
    auto sumLine = [&](int* first, int count, std::size_t step) {
        for (int i = 0; i < count; ++i)
            for (int c = 0; c < channels; ++c) line[static_cast<std::size_t>(i) * channels + c] = first[step * i + c];
        for (int c = 0; c < channels; ++c) {
            auto at = [&](int i) { return i < 0 || i >= count ? 0 : line[static_cast<std::size_t>(i) * channels + c]; };
            int sum = 0;
            for (int i = -radius; i <= radius; ++i) sum += at(i);
            for (int i = 0; i < count; ++i) {
                first[step * i + c] = sum;
                sum += at(i + radius + 1) - at(i - radius);
            }
        }
    };
    const std::size_t stride = static_cast<std::size_t>(width) * channels;
    for (int y = 0; y < height; ++y) sumLine(values + stride * y, width, static_cast<std::size_t>(channels));
    for (int x = 0; x < width; ++x) sumLine(values + static_cast<std::size_t>(x) * channels, height, stride);
}

// Blur radii on a ladder that grows with the radius (a few blurs a frame, not one per
// height): 0, 1, 2, 3, then about a fifth apart. A radius between two rungs is the mix of
// their blurs, so the blur grows smoothly with the distance from focus, as through a lens.
constexpr int kLadder[] = {0, 1, 2, 3, 4, 5, 6, 8, 10, 12, 15, 18, 22, 27, 33, 40, 48, 58, 70, 84, 100};
constexpr int kRungs = static_cast<int>(std::size(kLadder));

struct Rungs {
    std::uint8_t lower = 0; // index into the ladder
    float upperShare = 0;   // of the next rung's blur
};

Rungs RungsOf(double exact)
{
    if (exact >= kLadder[kRungs - 1]) return {static_cast<std::uint8_t>(kRungs - 2), 1};
    int i = 0;
    while (kLadder[i + 1] <= exact) ++i;
    return {static_cast<std::uint8_t>(i), static_cast<float>((exact - kLadder[i]) / (kLadder[i + 1] - kLadder[i]))};
}

} // namespace

void ReliefSlide::Prepare(int width, int height)
{
    if (width == width_ && height == height_) return;
    width_ = width;
    height_ = height;
    // The board reaches beyond the field, so a picture taken smaller still shows board
    // at its edges.
    margin_ = std::max(4, width / 10);
    const int boardWidth = width + 2 * margin_, boardHeight = height + 2 * margin_;
    boardWidth_ = boardWidth;
    sharp_.assign(static_cast<std::size_t>(boardWidth) * boardHeight * 3, 0);
    heights_.assign(static_cast<std::size_t>(boardWidth) * boardHeight, 0);
    boardHeights_.assign(heights_.size(), 0);
    componentOf_.assign(heights_.size(), 0);
    // The speckle: random values on a grid of 3-pixel cells, smoothly between them (as the
    // optics pass detail: nothing finer than a pixel or two).
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> speckle(-55, 55);
    constexpr int kCell = 3;
    const int gridWidth = boardWidth / kCell + 2, gridHeight = boardHeight / kCell + 2;
    std::vector<int> grid(static_cast<std::size_t>(gridWidth) * gridHeight);
    for (int& value : grid) value = speckle(random);
    auto speckleAt = [&](int bx, int by) {
        const double gx = static_cast<double>(bx) / kCell, gy = static_cast<double>(by) / kCell;
        const int ix = static_cast<int>(gx), iy = static_cast<int>(gy);
        const double wx = gx - ix, wy = gy - iy;
        auto at = [&](int x, int y) { return grid[static_cast<std::size_t>(y) * gridWidth + x]; };
        return static_cast<int>(std::lround((1 - wy) * ((1 - wx) * at(ix, iy) + wx * at(ix + 1, iy)) +
                                            wy * ((1 - wx) * at(ix, iy + 1) + wx * at(ix + 1, iy + 1))));
    };
    const double sx = 1280.0 / width, sy = 1024.0 / height;
    for (int by = 0; by < boardHeight; ++by)
        for (int bx = 0; bx < boardWidth; ++bx) {
            const double ux = (bx - margin_) * sx, uy = (by - margin_) * sy;
            // The board: green, rising from height 10 on the left to 45 on the right,
            // speckled (solder mask over the weave) and crossed by copper traces.
            int height = std::clamp(static_cast<int>(std::lround(10 + 35 * ux / 1280.0)), 5, 50);
            int b = 70, g = 150, r = 60;
            if ((static_cast<int>(uy) + 1024) % 96 < 10 || (static_cast<int>(ux) + 1280) % 160 < 8)
                b = 60, g = 150, r = 190;
            if (ux < kCoverslipRight && uy >= kCoverslipTop) {
                // The coverslip: frosted glass, lighter, hiding the board beneath. It lies on the
                // board, so it rises with it; the lens sees it as board at its own height.
                height += kCoverslipSteps;
                b = g = r = 175;
            }
            boardHeights_[static_cast<std::size_t>(by) * boardWidth + bx] = static_cast<std::uint8_t>(height);
            const Component* on = nullptr;
            for (const Component& c : kComponents)
                if (ux >= c.left && ux < c.right && uy >= c.top && uy < c.bottom) on = &c;
            if (on) {
                componentOf_[static_cast<std::size_t>(by) * boardWidth + bx] =
                    static_cast<std::uint8_t>(on - kComponents + 1);
                // A component: dark, with a light printed texture, and a darker rim.
                height = on->height;
                const bool rim =
                    ux < on->left + 12 || ux >= on->right - 12 || uy < on->top + 12 || uy >= on->bottom - 12;
                b = g = r = rim ? 25 : 55;
                if (!rim && (static_cast<int>(ux / 6) + static_cast<int>(uy / 6)) % 5 == 0) b = g = r = 200;
            }
            const int n = speckleAt(bx, by);
            std::uint8_t* p = &sharp_[(static_cast<std::size_t>(by) * boardWidth + bx) * 3];
            p[0] = static_cast<std::uint8_t>(std::clamp(b + n, 0, 255));
            p[1] = static_cast<std::uint8_t>(std::clamp(g + n, 0, 255));
            p[2] = static_cast<std::uint8_t>(std::clamp(r + n, 0, 255));
            heights_[static_cast<std::size_t>(by) * boardWidth + bx] = static_cast<std::uint8_t>(height);
        }
}

int ReliefSlide::HeightAt(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    return heights_[static_cast<std::size_t>(y + margin_) * boardWidth_ + x + margin_];
}

bool ReliefSlide::IsTextured(int x, int y) const
{
    // Everything is speckled; only the plain rims of the components are not.
    const double ux = x * 1280.0 / width_, uy = y * 1024.0 / height_;
    for (const Component& c : kComponents)
        if (ux >= c.left - 2 && ux < c.right + 2 && uy >= c.top - 2 && uy < c.bottom + 2)
            return ux >= c.left + 14 && ux < c.right - 14 && uy >= c.top + 14 && uy < c.bottom - 14;
    return true;
}

void ReliefSlide::Render(int focus, std::uint8_t* out, std::size_t stride) const
{
    if (sharp_.empty()) return;
    // The picture at this focus position's scale, about the frame's centre (nearest point).
    const double scale = ScaleAt(focus);
    const double cx = (width_ - 1) / 2.0, cy = (height_ - 1) / 2.0;
    const int boardHeight = static_cast<int>(heights_.size() / static_cast<std::size_t>(boardWidth_));
    const double blurUnit = kBlurPerHeight * width_ / 1280.0;
    // The lens blurs what lies beyond the field into it as well: the picture is made with a
    // border as wide as the widest blur, and cut out of it at the end (a blur cut off at the
    // field's edge would pull the edge's detail inwards, as no lens does).
    const int border = std::min(kLadder[RungsOf(110 * blurUnit).lower + 1], margin_);
    const int w = width_ + 2 * border, h = height_ + 2 * border;
    const std::size_t pixels = static_cast<std::size_t>(w) * h;
    std::vector<std::uint8_t> scaled(pixels * 3);
    std::vector<Rungs> boardRungs(pixels);
    std::vector<std::uint8_t> component(pixels);
    std::vector<bool> rungUsed(kRungs, false); // by the board's points
    for (int y = 0; y < h; ++y) {
        const double fy = std::clamp(margin_ + cy + (y - border - cy) / scale, 0.0, boardHeight - 1.0);
        for (int x = 0; x < w; ++x) {
            const double fx = std::clamp(margin_ + cx + (x - border - cx) / scale, 0.0, boardWidth_ - 1.0);
            const std::size_t to = static_cast<std::size_t>(y) * w + x;
            SharpAt(fx, fy, &scaled[to * 3]);
            const std::size_t nearest =
                static_cast<std::size_t>(std::lround(fy)) * boardWidth_ + static_cast<std::size_t>(std::lround(fx));
            boardRungs[to] = RungsOf(std::abs(boardHeights_[nearest] - focus) * blurUnit);
            component[to] = componentOf_[nearest];
            rungUsed[boardRungs[to].lower] = true;
            if (boardRungs[to].upperShare > 0) rungUsed[boardRungs[to].lower + 1u] = true;
        }
    }
    // The board first, as a lens sees it behind the components: each blur it needs, once,
    // mixing only board points near its own distance (normalised over them); beneath a
    // component, what the board around it gives.
    std::vector<int> sums(pixels * 3), weights(pixels);
    std::vector<float> picture(pixels * 3, 0.0f);
    for (int rung = 0; rung < kRungs; ++rung) {
        if (!rungUsed[static_cast<std::size_t>(rung)]) continue;
        auto share = [&](std::size_t i) -> float {
            const Rungs& p = boardRungs[i];
            if (p.lower == rung) return 1 - p.upperShare;
            if (p.lower + 1 == rung) return p.upperShare;
            return 0;
        };
        for (std::size_t i = 0; i < pixels; ++i) {
            const bool source = share(i) > 0 && component[i] == 0;
            weights[i] = source ? 1 : 0;
            for (int c = 0; c < 3; ++c) sums[i * 3 + c] = source ? scaled[i * 3 + c] : 0;
        }
        BoxSum(sums.data(), 3, w, h, kLadder[rung]);
        BoxSum(weights.data(), 1, w, h, kLadder[rung]);
        for (std::size_t i = 0; i < pixels; ++i) {
            const float w = share(i);
            if (w <= 0) continue;
            for (int c = 0; c < 3; ++c)
                picture[i * 3 + c] +=
                    w * (weights[i] > 0 ? static_cast<float>(sums[i * 3 + c]) / weights[i] : scaled[i * 3 + c]);
        }
    }
    // Then each component over it, blurred as a whole by its own distance from the focus:
    // out of focus, its edge spreads over the board around it (a halo, as through a real
    // lens), while the board's blur never reaches over a component.
    std::vector<float> over(pixels * 3);
    for (std::size_t k = 0; k < std::size(kComponents); ++k) {
        bool present = false;
        for (std::size_t i = 0; i < pixels && !present; ++i) present = component[i] == k + 1;
        if (!present) continue;
        const Rungs rungs = RungsOf(std::abs(kComponents[k].height - focus) * blurUnit);
        std::copy(picture.begin(), picture.end(), over.begin());
        for (int step = 0; step < 2; ++step) {
            const float share = step == 0 ? 1 - rungs.upperShare : rungs.upperShare;
            if (share <= 0) continue;
            const int r = kLadder[rungs.lower + step];
            for (std::size_t i = 0; i < pixels; ++i) {
                const bool mine = component[i] == k + 1;
                weights[i] = mine ? 1 : 0;
                for (int c = 0; c < 3; ++c) sums[i * 3 + c] = mine ? scaled[i * 3 + c] : 0;
            }
            BoxSum(sums.data(), 3, w, h, r);
            BoxSum(weights.data(), 1, w, h, r);
            const float area = static_cast<float>((2 * r + 1) * (2 * r + 1));
            for (std::size_t i = 0; i < pixels; ++i) {
                if (weights[i] == 0) continue;
                const float cover = weights[i] / area;
                for (int c = 0; c < 3; ++c)
                    over[i * 3 + c] += share * (sums[i * 3 + c] / area - cover * picture[i * 3 + c]);
            }
        }
        picture.swap(over);
    }
    for (int y = 0; y < height_; ++y) {
        std::uint8_t* row = out + stride * static_cast<std::size_t>(y);
        for (int x = 0; x < width_; ++x)
            for (int c = 0; c < 3; ++c)
                row[x * 3 + c] = static_cast<std::uint8_t>(std::clamp(
                    std::lround(picture[((static_cast<std::size_t>(y) + border) * w + x + border) * 3 + c]), 0L, 255L));
        std::memset(row + static_cast<std::size_t>(width_) * 3, 0, stride - static_cast<std::size_t>(width_) * 3);
    }
}

void ReliefSlide::RenderSharp(int focus, std::uint8_t* out, std::size_t stride) const
{
    if (sharp_.empty()) return;
    const double scale = ScaleAt(focus);
    const double cx = (width_ - 1) / 2.0, cy = (height_ - 1) / 2.0;
    const int boardHeight = static_cast<int>(heights_.size() / static_cast<std::size_t>(boardWidth_));
    for (int y = 0; y < height_; ++y) {
        const double fy = std::clamp(margin_ + cy + (y - cy) / scale, 0.0, boardHeight - 1.0);
        std::uint8_t* row = out + stride * static_cast<std::size_t>(y);
        for (int x = 0; x < width_; ++x)
            SharpAt(std::clamp(margin_ + cx + (x - cx) / scale, 0.0, boardWidth_ - 1.0), fy, row + x * 3);
    }
}

void ReliefSlide::SharpAt(double fx, double fy, std::uint8_t* bgr) const
{
    // Optics magnify smoothly: the specimen sampled between its points (bilinear).
    const int boardHeight = static_cast<int>(heights_.size() / static_cast<std::size_t>(boardWidth_));
    const int x0 = std::min(static_cast<int>(fx), boardWidth_ - 2), y0 = std::min(static_cast<int>(fy), boardHeight - 2);
    const double wx = fx - x0, wy = fy - y0;
    const std::uint8_t* p00 = &sharp_[(static_cast<std::size_t>(y0) * boardWidth_ + x0) * 3];
    const std::uint8_t* p01 = p00 + 3;
    const std::uint8_t* p10 = p00 + static_cast<std::size_t>(boardWidth_) * 3;
    const std::uint8_t* p11 = p10 + 3;
    for (int c = 0; c < 3; ++c)
        bgr[c] = static_cast<std::uint8_t>(
            std::lround((1 - wy) * ((1 - wx) * p00[c] + wx * p01[c]) + wy * ((1 - wx) * p10[c] + wx * p11[c])));
}
