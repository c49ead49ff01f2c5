#pragma once
// The preview's picture: each frame is scaled (nearest pixel) into the window's client
// size once, its shape kept, and the overlays are drawn on it once; painting only copies it. Used on the
// user-interface thread only. The picture is reused from frame to frame, so no frame needs
// an allocation once running.

#include "framework/Frame.h"

#include <QImage>
#include <QRect>
#include <QSize>

#include <cstdint>
#include <functional>
#include <vector>

class QPainter;

// The largest rectangle of `frame`'s shape inside `surface`, centred.
QRect LetterboxArea(QSize surface, QSize frame);

class PreviewSurface {
public:
    using OverlayPainter = std::function<void(QPainter&, const QRect&)>;

    // Makes a black surface of `size` (the window's client size), replacing any old one.
    void Create(QSize size);
    void Delete();
    bool Exists() const { return !image_.isNull(); }
    QSize Size() const { return image_.size(); }

    // Scales a frame into the surface, its shape kept (black bars fill the rest). False when
    // there is no surface or no whole frame.
    bool Compose(const Frame& frame);
    // Draws the overlays on what was composed, over the picture's own area.
    void DrawOverlays(const OverlayPainter& overlays);
    // Fills the surface with black.
    void Clear();

    // Copies the picture to `painter` at (0, 0).
    void PaintTo(QPainter& painter) const;
    QImage Snapshot() const { return image_.copy(); }

private:
    QImage image_;
    QRect area_; // where the last frame went
    // Byte offset in a source row per surface column, kept while the sizes stay.
    std::vector<int> sourceColumn_;
    int mappedSourceWidth_ = -1;
    int fastColumns_ = 0; // columns that may read a whole 4-byte word of the frame
};
