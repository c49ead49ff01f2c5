#include "capture/backend/SlideRenderer.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>

namespace {

// Every length is a fraction of the field of view's width, so the specimen is the same at
// every capture size.
void PaintSpecimen(QPainter& p, double fieldWidth, double fieldHeight, double marginFraction, double fieldsAcross = 1,
                   double fieldsDown = 1)
{
    std::mt19937 random(20091105u); // a fixed slide: the same cells in every run
    auto uniform = [&random](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(random); };
    const double w = fieldWidth;
    const double total = w * (fieldsAcross + 2 * marginFraction);
    const double totalH = fieldHeight * fieldsDown + 2 * w * marginFraction;
    // As many cells, fibres and granules to a field however large the slide.
    const double fields = fieldsAcross * fieldsDown;
    auto count = [fields](int perField) { return static_cast<int>(perField * fields); };

    QRadialGradient light(QPointF(total / 2, totalH / 2), total * 0.62);
    light.setColorAt(0.0, QColor(246, 240, 228));
    light.setColorAt(0.7, QColor(232, 222, 206));
    light.setColorAt(1.0, QColor(196, 184, 168));
    p.fillRect(QRectF(0, 0, total, totalH), light);

    // Connective fibres: long, thin, pale pink strands.
    p.setBrush(Qt::NoBrush);
    // On a slide of many fields each fibre stays within a field or so of where it starts (as
    // long as on a one-field slide, and as many to a field).
    const bool large = fields > 1;
    auto along = [&](double from, double extent) { return large ? from + uniform(-w, w) : uniform(0, extent); };
    for (int i = 0; i < count(26); ++i) {
        const QPointF start(uniform(0, total), uniform(0, totalH));
        QPainterPath fibre(start);
        fibre.cubicTo(QPointF(along(start.x(), total), along(start.y(), totalH)),
                      QPointF(along(start.x(), total), along(start.y(), totalH)),
                      QPointF(along(start.x(), total), along(start.y(), totalH)));
        p.setPen(QPen(QColor(214, 150, 170, static_cast<int>(uniform(40, 90))), w * uniform(0.002, 0.006),
                      Qt::SolidLine, Qt::RoundCap));
        p.drawPath(fibre);
    }

    // Cells: translucent cytoplasm, darker membrane, a nucleus with a nucleolus.
    for (int i = 0; i < count(150); ++i) {
        const QPointF centre(uniform(0, total), uniform(0, totalH));
        const double rx = w * uniform(0.018, 0.045);
        const double ry = rx * uniform(0.65, 1.0);
        const double angle = uniform(0, 180);
        p.save();
        p.translate(centre);
        p.rotate(angle);
        const int hue = static_cast<int>(uniform(290, 335)) % 360;
        p.setPen(QPen(QColor::fromHsv(hue, 120, 130, 170), w * 0.0018));
        p.setBrush(QColor::fromHsv(hue, static_cast<int>(uniform(40, 80)), 225, 110));
        p.drawEllipse(QPointF(0, 0), rx, ry);
        const QPointF nucleus(uniform(-rx * 0.3, rx * 0.3), uniform(-ry * 0.3, ry * 0.3));
        const double nr = rx * uniform(0.28, 0.42);
        p.setPen(QPen(QColor(70, 30, 100, 200), w * 0.0012));
        p.setBrush(QColor(110, 60, 150, 170));
        p.drawEllipse(nucleus, nr, nr * uniform(0.8, 1.0));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(50, 20, 70, 200));
        p.drawEllipse(nucleus + QPointF(nr * 0.25, -nr * 0.2), nr * 0.25, nr * 0.25);
        p.restore();
    }

    // Granules: small dark dots.
    p.setPen(Qt::NoPen);
    for (int i = 0; i < count(900); ++i) {
        p.setBrush(QColor(90, 50, 80, static_cast<int>(uniform(60, 160))));
        const double r = w * uniform(0.0008, 0.0025);
        p.drawEllipse(QPointF(uniform(0, total), uniform(0, totalH)), r, r);
    }
}

// A stage micrometer: 1 mm ruled in 0.01 mm, long ticks and numbers every 0.1 mm, on clear
// glass, across the middle of the field. `left` is where the field of view begins.
void PaintMicrometer(QPainter& p, double fieldWidth, double left, double totalWidth, double totalHeight)
{
    QRadialGradient light(QPointF(totalWidth / 2, totalHeight / 2), totalWidth * 0.7);
    light.setColorAt(0.0, QColor(238, 240, 236));
    light.setColorAt(1.0, QColor(200, 204, 198));
    p.fillRect(QRectF(0, 0, totalWidth, totalHeight), light);
    const double pixelsPerMillimetre = fieldWidth / kSimulatedFieldWidthMillimetres;
    const double start = left + (fieldWidth - pixelsPerMillimetre) / 2;
    const double baseline = totalHeight / 2;
    const QColor ink(20, 24, 30);
    p.setPen(QPen(ink, std::max(1.0, fieldWidth / 640)));
    p.drawLine(QPointF(start, baseline), QPointF(start + pixelsPerMillimetre, baseline));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(std::max(8, static_cast<int>(fieldWidth / 64)));
    p.setFont(font);
    for (int i = 0; i <= 100; ++i) {
        const double x = start + i * pixelsPerMillimetre / 100;
        const double length = fieldWidth * (i % 10 == 0 ? 0.05 : i % 5 == 0 ? 0.032 : 0.02);
        p.drawLine(QPointF(x, baseline), QPointF(x, baseline - length));
        if (i % 10 == 0) {
            const QString number = QString::number(i / 10);
            const double w = QFontMetricsF(font).horizontalAdvance(number);
            p.drawText(QPointF(x - w / 2, baseline - length - fieldWidth * 0.01), number);
        }
    }
    p.drawText(QPointF(start, baseline + fieldWidth * 0.05), QStringLiteral("1 mm / 100 div"));
}

// The slide drawn as top-down BGR with a little grain. Drawing a slide of many fields takes
// seconds, so the last one drawn is kept for the next stream (every restart of the camera
// would otherwise wait for it again).
std::shared_ptr<const std::vector<std::uint8_t>> SharedTexture(int width, int height, Slide slide, int textureWidth,
                                                               int textureHeight, int margin)
{
    struct Drawn {
        int width = 0, height = 0;
        Slide slide = Slide::Tissue;
        std::shared_ptr<const std::vector<std::uint8_t>> texture;
    };
    static std::mutex mutex;
    static Drawn last;
    std::lock_guard lock(mutex);
    if (last.texture && last.width == width && last.height == height && last.slide == slide) return last.texture;

    const bool stage = slide == Slide::Stage;
    QImage image(textureWidth, textureHeight, QImage::Format_RGB32); // the painter's fast path
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        if (slide == Slide::StageMicrometer) PaintMicrometer(painter, width, margin, textureWidth, textureHeight);
        else if (stage)
            PaintSpecimen(painter, width, height, static_cast<double>(margin) / width, kStageFieldsAcross,
                          kStageFieldsDown);
        else PaintSpecimen(painter, width, height, static_cast<double>(margin) / width);
    }
    std::mt19937 random(7u);
    std::uniform_int_distribution<int> noise(-4, 4);
    auto texture =
        std::make_shared<std::vector<std::uint8_t>>(static_cast<std::size_t>(textureWidth) * textureHeight * 3);
    for (int y = 0; y < textureHeight; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        std::uint8_t* out = &(*texture)[static_cast<std::size_t>(y) * textureWidth * 3];
        for (int x = 0; x < textureWidth; ++x) {
            const int n = noise(random);
            out[x * 3 + 0] = static_cast<std::uint8_t>(std::clamp(qBlue(row[x]) + n, 0, 255));
            out[x * 3 + 1] = static_cast<std::uint8_t>(std::clamp(qGreen(row[x]) + n, 0, 255));
            out[x * 3 + 2] = static_cast<std::uint8_t>(std::clamp(qRed(row[x]) + n, 0, 255));
        }
    }
    last = {width, height, slide, texture};
    return texture;
}

} // namespace

void SlideRenderer::Prepare(int width, int height, Slide slide)
{
    if (width == width_ && height == height_ && slide == slide_ && texture_) return;
    width_ = width;
    height_ = height;
    slide_ = slide;
    margin_ = std::max(8, width / 10);
    const bool stage = slide == Slide::Stage;
    textureWidth_ = width * (stage ? kStageFieldsAcross : 1) + 2 * margin_;
    textureHeight_ = height * (stage ? kStageFieldsDown : 1) + 2 * margin_;

    if (slide == Slide::Relief) relief_.Prepare(width, height);
    texture_ = SharedTexture(width, height, slide, textureWidth_, textureHeight_, margin_);
    // The uneven lamp: darker towards the corners and from right to left, never above full.
    // Under the stage's lamp, a slight vignette of its own, as on a real microscope.
    lamp_.resize(static_cast<std::size_t>(width) * height);
    stageLamp_.resize(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double u = (x + 0.5) / width * 2 - 1, v = (y + 0.5) / height * 2 - 1;
            const double vignette = 1.0 - 0.45 * (u * u + v * v) / 2;
            const double gradient = 0.72 + 0.28 * (x + 0.5) / width;
            lamp_[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint16_t>(std::lround(256 * vignette * gradient));
            stageLamp_[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint16_t>(std::lround(256 * (1.0 - 0.08 * (u * u + v * v) / 2)));
        }
    // Sensor noise, fixed per pixel: cheap and keeps flat areas from looking drawn.
    std::mt19937 frameNoise(11u);
    std::uniform_int_distribution<int> small(-3, 3);
    noise_.resize(static_cast<std::size_t>(width) * height);
    for (auto& n : noise_) n = static_cast<std::int8_t>(small(frameNoise));
}

double SlideRenderer::ExposureAt(double seconds, bool drifting)
{
    const double flicker = 0.012 * std::sin(seconds * 2.7) + 0.008 * std::sin(seconds * 8.1 + 0.4);
    return 1 + flicker + (drifting ? 0.06 * std::sin(seconds * 0.37) : 0);
}

int SimulatedOptics::BlurRadius(int width) const
{
    // A quarter of the field's width out of focus at either end of the knob's travel.
    const int away = std::abs(focus - kSimulatedBestFocus);
    return static_cast<int>(std::lround(away * width / 1280.0 * 0.6));
}

SlideRenderer::Offset SlideRenderer::StageOffset(StagePosition stage) const
{
    if (slide_ != Slide::Stage) return {};
    const double pixelsPerMicrometre = width_ / (kSimulatedFieldWidthMillimetres * 1000);
    // In 1/256 pixel, as the frame is drawn.
    auto steps = [](double pixels) { return std::lround(pixels * 256) / 256.0; };
    return {std::clamp(steps(stage.x * pixelsPerMicrometre), 0.0, double(width_ * (kStageFieldsAcross - 1))),
            std::clamp(steps(stage.y * pixelsPerMicrometre), 0.0, double(height_ * (kStageFieldsDown - 1)))};
}

double SlideRenderer::LampGain(int x, int y) const
{
    if (lamp_.empty() || x < 0 || y < 0 || x >= width_ || y >= height_) return 1.0;
    return lamp_[static_cast<std::size_t>(y) * width_ + x] / 256.0;
}

namespace {

// A box blur of `radius` across and then down, in place, on top-down BGR rows.
void BoxBlur(std::uint8_t* pixels, int width, int height, std::size_t stride, int radius)
{
    if (radius <= 0) return;
    const int window = 2 * radius + 1;
    std::vector<std::uint8_t> line(static_cast<std::size_t>(std::max(width, height)) * 3);
    auto blurLine = [&](std::uint8_t* first, int count, std::size_t step) {
        for (int i = 0; i < count; ++i) std::memcpy(&line[static_cast<std::size_t>(i) * 3], first + step * i, 3);
        for (int c = 0; c < 3; ++c) {
            int sum = 0;
            auto at = [&](int i) {
                return static_cast<int>(line[static_cast<std::size_t>(std::clamp(i, 0, count - 1)) * 3 + c]);
            };
            for (int i = -radius; i <= radius; ++i) sum += at(i);
            for (int i = 0; i < count; ++i) {
                first[step * i + c] = static_cast<std::uint8_t>(sum / window);
                sum += at(i + radius + 1) - at(i - radius);
            }
        }
    };
    for (int y = 0; y < height; ++y) blurLine(pixels + stride * static_cast<std::size_t>(y), width, 3);
    for (int x = 0; x < width; ++x) blurLine(pixels + static_cast<std::size_t>(x) * 3, height, stride);
}

} // namespace

void SlideRenderer::RenderFrame(double seconds, std::uint8_t* out, const std::uint8_t* lut,
                                const SimulatedOptics& optics) const
{
    if (!texture_) return;
    // A slow, smooth drift within the margin; on the stage, where the stage holds the slide.
    const bool stage = slide_ == Slide::Stage;
    const Offset field = StageOffset(optics.stage);
    const int dx = margin_ + (stage ? static_cast<int>(field.x)
                                    : static_cast<int>(std::lround(margin_ * 0.8 * std::sin(seconds * 0.21))));
    const int dy = margin_ + (stage ? static_cast<int>(field.y)
                                    : static_cast<int>(std::lround(margin_ * 0.8 * std::sin(seconds * 0.13 + 1.0))));
    // Between pixels the stage's picture is interpolated from the four around (in 1/256).
    const int fx = stage ? static_cast<int>(std::lround((field.x - std::floor(field.x)) * 256)) : 0;
    const int fy = stage ? static_cast<int>(std::lround((field.y - std::floor(field.y)) * 256)) : 0;
    const std::size_t stride = StrideOf(width_);
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 3;
    const bool relief = slide_ == Slide::Relief && !optics.blankField;
    if (relief) relief_.Render(optics.focus, out, stride); // focused point by point, no drift
    for (int y = 0; y < height_ && !relief; ++y) {
        std::uint8_t* dst = out + static_cast<std::size_t>(y) * stride; // top-down
        if (optics.blankField) {
            static constexpr std::uint8_t glass[3] = {kBlankBlue, kBlankGreen, kBlankRed};
            const std::int8_t* n = &noise_[static_cast<std::size_t>(y) * width_];
            for (int x = 0; x < width_; ++x)
                for (int c = 0; c < 3; ++c) dst[x * 3 + c] = static_cast<std::uint8_t>(glass[c] + n[x]);
        } else if (fx == 0 && fy == 0) {
            std::memcpy(dst, &(*texture_)[(static_cast<std::size_t>(dy + y) * textureWidth_ + dx) * 3], rowBytes);
        } else {
            const std::uint8_t* top = &(*texture_)[(static_cast<std::size_t>(dy + y) * textureWidth_ + dx) * 3];
            const std::uint8_t* bottom = top + static_cast<std::size_t>(textureWidth_) * 3;
            const int w00 = (256 - fx) * (256 - fy), w01 = fx * (256 - fy), w10 = (256 - fx) * fy, w11 = fx * fy;
            for (std::size_t i = 0; i < rowBytes; ++i)
                dst[i] = static_cast<std::uint8_t>(
                    (top[i] * w00 + top[i + 3] * w01 + bottom[i] * w10 + bottom[i + 3] * w11 + 32768) >> 16);
        }
        std::memset(dst + rowBytes, 0, stride - rowBytes);
    }
    // Out of focus first (the optics), then the lamp's light, the sensor, then the camera's tone.
    if (!relief) BoxBlur(out, width_, height_, stride, optics.BlurRadius(width_));
    // Where the specimen is the point (the relief, the stage), the camera is as real ones are:
    // its exposure breathes a little from frame to frame (and drifts on the stage as the lamp
    // warms and the field moves), and every frame has its own sensor noise.
    const bool sensor = (relief || stage) && !optics.blankField;
    const int exposure = sensor ? static_cast<int>(std::lround(256 * ExposureAt(seconds, stage))) : 256;
    std::uint32_t noiseState = static_cast<std::uint32_t>(std::llround(seconds * 1000)) * 2654435761u + 1u;
    for (int y = 0; y < height_; ++y) {
        std::uint8_t* dst = out + static_cast<std::size_t>(y) * stride;
        if (optics.unevenLamp || stage) {
            const std::uint16_t* gain = &(optics.unevenLamp ? lamp_ : stageLamp_)[static_cast<std::size_t>(y) * width_];
            for (int x = 0; x < width_; ++x)
                for (int c = 0; c < 3; ++c)
                    dst[x * 3 + c] = static_cast<std::uint8_t>((dst[x * 3 + c] * gain[x] + 128) >> 8);
        }
        if (sensor)
            for (std::size_t i = 0; i < rowBytes; ++i) {
                // Noise of about two levels (the sum of two uniform draws, -4..4).
                noiseState ^= noiseState << 13;
                noiseState ^= noiseState >> 17;
                noiseState ^= noiseState << 5;
                const int noise = static_cast<int>(noiseState & 7u) + static_cast<int>((noiseState >> 8) & 7u) - 7;
                dst[i] = static_cast<std::uint8_t>(std::clamp((dst[i] * exposure + 128) / 256 + noise / 2, 0, 255));
            }
        if (lut)
            for (std::size_t i = 0; i < rowBytes; ++i) dst[i] = lut[dst[i]];
    }
}
