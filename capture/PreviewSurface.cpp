#include "PreviewSurface.h"

#include <QPainter>

void PreviewSurface::Create(QSize size)
{
    std::lock_guard lock(mutex_);
    size = size.expandedTo(QSize(1, 1));
    front_ = QImage(size, QImage::Format_RGB32);
    front_.fill(Qt::black);
    back_ = QImage(size, QImage::Format_RGB32);
    back_.fill(Qt::black);
    exists_ = true;
    ++generation_;
}

void PreviewSurface::Delete()
{
    std::lock_guard lock(mutex_);
    front_ = QImage();
    back_ = QImage();
    exists_ = false;
    ++generation_;
}

bool PreviewSurface::Exists() const
{
    std::lock_guard lock(mutex_);
    return exists_;
}

QSize PreviewSurface::Size() const
{
    std::lock_guard lock(mutex_);
    return front_.size();
}

void PreviewSurface::Clear()
{
    std::lock_guard lock(mutex_);
    if (exists_) front_.fill(Qt::black);
}

bool PreviewSurface::Compose(const std::uint8_t* pixels, std::size_t length, int width, int height,
                             const OverlayPainter& overlays)
{
    if (!pixels || width <= 0 || height <= 0) return false;
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    if (length < stride * static_cast<std::size_t>(height)) return false;

    QImage work;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        if (!exists_ || back_.isNull()) return false;
        work = std::move(back_);
        back_ = QImage();
        generation = generation_;
    }

    const int dw = work.width();
    const int dh = work.height();
    if (mappedSourceWidth_ != width || static_cast<int>(sourceColumn_.size()) != dw) {
        sourceColumn_.resize(static_cast<std::size_t>(dw));
        for (int x = 0; x < dw; ++x)
            sourceColumn_[static_cast<std::size_t>(x)] = static_cast<int>(static_cast<long long>(x) * width / dw) * 3;
        mappedSourceWidth_ = width;
    }
    for (int y = 0; y < dh; ++y) {
        // Rows arrive bottom-up: the first surface row is the frame's last row.
        const int sourceRow = height - 1 - static_cast<int>(static_cast<long long>(y) * height / dh);
        const std::uint8_t* src = pixels + static_cast<std::size_t>(sourceRow) * stride;
        auto* dst = reinterpret_cast<std::uint32_t*>(work.scanLine(y));
        for (int x = 0; x < dw; ++x) {
            const std::uint8_t* bgr = src + sourceColumn_[static_cast<std::size_t>(x)];
            dst[x] = 0xFF000000u | (static_cast<std::uint32_t>(bgr[2]) << 16) |
                     (static_cast<std::uint32_t>(bgr[1]) << 8) | bgr[0];
        }
    }
    if (overlays) {
        QPainter painter(&work);
        overlays(painter, work.rect());
    }

    std::lock_guard lock(mutex_);
    if (generation != generation_) return false; // the surface was recreated meanwhile
    back_ = std::move(front_);
    front_ = std::move(work);
    return true;
}

void PreviewSurface::PaintTo(QPainter& painter) const
{
    std::lock_guard lock(mutex_);
    if (exists_) painter.drawImage(0, 0, front_);
}

QImage PreviewSurface::Snapshot() const
{
    std::lock_guard lock(mutex_);
    return front_.copy();
}
