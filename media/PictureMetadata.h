#pragma once
// What a picture file says beside its pixels: the scale one pixel spans, and when, at what
// magnification and with which microscope it was taken.

#include <QDateTime>
#include <QPointF>
#include <QString>

#include <cstdint>
#include <vector>

// A shape drawn over a picture, in the picture's pixels, as the picture's file keeps it
// beside its pixels (a TIFF's ImageJ overlay).
struct OverlayShape {
    enum class Kind { Line, Polyline, Polygon, Angle, Rectangle, Oval, Points, Text };
    Kind kind = Kind::Line;
    // A line: its two ends; an angle: an arm's end, the vertex, the other arm's end; a
    // rectangle or an oval: its top-left and bottom-right corners; a text: its top-left.
    std::vector<QPointF> points;
    QString name;                 // the shape's name in ImageJ's list (what kind of ours it was)
    QString text;                 // a text's words
    std::uint32_t strokeArgb = 0; // 0: the reader's own colour
    double strokeWidth = 0;       // 0: the reader's own
    int fontSize = 0;             // a text's, in pixels

    bool operator==(const OverlayShape&) const = default;
};

struct PictureMetadata {
    double millimetresPerPixel = 0;    // the calibrated (or chosen) scale; 0 when none is known
    bool scaleInMicrometres = true;    // the unit the scale is given in: micrometres or millimetres
    QDateTime captured;                // invalid when unknown
    int magnification = 0;             // as typed; 0 when none
    QString microscope;                // the camera's name; empty when unknown
    std::vector<OverlayShape> overlay; // shapes kept with the picture (TIFF only)

    bool HasScale() const { return millimetresPerPixel > 0; }
};

// The program's name and version, as the files it writes name their maker.
QString PictureSoftwareName();
