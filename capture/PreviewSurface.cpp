#include "capture/PreviewSurface.h"

#include <QPainter>

#include <bit>
#include <cstring>

void PreviewSurface::Create(QSize size)
{
    image_ = QImage(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image_.fill(Qt::black);
    mappedSourceWidth_ = -1;
    area_ = QRect();
}

void PreviewSurface::Delete()
{
    image_ = QImage();
}

void PreviewSurface::Clear()
{
    if (Exists()) image_.fill(Qt::black);
}

// The composing loop reads a pixel's bytes as one little-endian word.
static_assert(std::endian::native == std::endian::little, "the preview's composing assumes a little-endian machine");

bool PreviewSurface::Compose(const Frame& frame)
{
    if (frame.Empty() || !Exists()) return false;
    const int width = frame.width;
    const int height = frame.height;

    // Camera pixels are square: the frame keeps its shape, with black bars beside or
    // below it where the window has another.
    const QRect area = LetterboxArea(image_.size(), QSize(width, height));
    if (area != area_) {
        image_.fill(Qt::black);
        area_ = area;
    }
    const int dw = area.width();
    const int dh = area.height();
    if (mappedSourceWidth_ != width || static_cast<int>(sourceColumn_.size()) != dw) {
        sourceColumn_.resize(static_cast<std::size_t>(dw));
        for (int x = 0; x < dw; ++x)
            sourceColumn_[static_cast<std::size_t>(x)] = static_cast<int>(static_cast<long long>(x) * width / dw) * 3;
        mappedSourceWidth_ = width;
        // The columns before the first that shows the frame's last pixel (they rise with x).
        fastColumns_ = 0;
        while (fastColumns_ < dw && sourceColumn_[static_cast<std::size_t>(fastColumns_)] < (width - 1) * 3)
            ++fastColumns_;
    }
    for (int y = 0; y < dh; ++y) {
        const std::uint8_t* src = frame.Row(static_cast<int>(static_cast<long long>(y) * height / dh));
        auto* dst = reinterpret_cast<std::uint32_t*>(image_.scanLine(area.top() + y)) + area.left();
        // One 4-byte load a pixel: B, G, R and the next byte, which the mask drops (little
        // endian, as the surface's 0xAARRGGBB wants). Columns showing the frame's last pixel
        // (several, when the frame is enlarged) read its three bytes alone, so nothing past
        // the frame's end is touched.
        int x = 0;
        for (; x < fastColumns_; ++x) {
            std::uint32_t bgrx;
            std::memcpy(&bgrx, src + sourceColumn_[static_cast<std::size_t>(x)], 4);
            dst[x] = 0xFF000000u | (bgrx & 0x00FFFFFFu);
        }
        for (; x < dw; ++x) {
            const std::uint8_t* last = src + sourceColumn_[static_cast<std::size_t>(x)];
            dst[x] = 0xFF000000u | (static_cast<std::uint32_t>(last[2]) << 16) |
                     (static_cast<std::uint32_t>(last[1]) << 8) | last[0];
        }
    }
    return true;
}

QRect LetterboxArea(QSize surface, QSize frame)
{
    if (surface.isEmpty() || frame.isEmpty()) return QRect(QPoint(0, 0), surface);
    const long long sw = surface.width(), sh = surface.height(), fw = frame.width(), fh = frame.height();
    int w = surface.width(), h = surface.height();
    if (sw * fh > sh * fw) w = static_cast<int>((sh * fw + fh / 2) / fh); // wider than the frame: bars left and right
    else h = static_cast<int>((sw * fh + fw / 2) / fw);                   // taller: bars above and below
    // A bar of a pixel or less is not worth the black line it would leave.
    if (surface.width() - w <= 1) w = surface.width();
    if (surface.height() - h <= 1) h = surface.height();
    return QRect((surface.width() - w) / 2, (surface.height() - h) / 2, w, h);
}

void PreviewSurface::DrawOverlays(const OverlayPainter& overlays)
{
    if (!Exists() || !overlays) return;
    QPainter painter(&image_);
    overlays(painter, area_.isEmpty() ? image_.rect() : area_);
}

void PreviewSurface::PaintTo(QPainter& painter) const
{
    if (Exists()) painter.drawImage(0, 0, image_);
}
