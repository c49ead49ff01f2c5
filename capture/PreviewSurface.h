#pragma once
// The preview's off-screen surface: every frame is stretched (nearest pixel) over the
// whole surface and the overlays drawn on it, then the finished picture is swapped to the
// front, so the window shows it in one copy. Composing may run on the streaming thread;
// painting runs on the user-interface thread. Two pictures alternate, so no frame needs
// an allocation once running.

#include <QImage>
#include <QSize>

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

class QPainter;

class PreviewSurface {
public:
    using OverlayPainter = std::function<void(QPainter&, const QRect&)>;

    // Makes a black surface of `size` (the window's client size), replacing any old one.
    void Create(QSize size);
    void Delete();
    bool Exists() const;
    QSize Size() const;

    // Stretches a frame (one composing thread at a time) of 24-bit bottom-up rows over the surface and draws `overlays` on
    // it. False when there is no surface or the frame is shorter than its size says.
    bool Compose(const std::uint8_t* pixels, std::size_t length, int width, int height,
                 const OverlayPainter& overlays);
    // Fills the surface with black.
    void Clear();

    // Copies the front picture to `painter` at (0, 0).
    void PaintTo(QPainter& painter) const;
    QImage Snapshot() const;

private:
    mutable std::mutex mutex_;
    QImage front_;
    QImage back_;
    // Used only by the one composing thread: byte offset in a source row per surface column.
    std::vector<int> sourceColumn_;
    int mappedSourceWidth_ = -1;
    bool exists_ = false;
    std::uint64_t generation_ = 0; // bumped by Create/Delete so a stale compose is dropped
};
