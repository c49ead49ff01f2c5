#pragma once
// What a picture file says beside its pixels: the scale one pixel spans, and when, at what
// magnification and with which microscope it was taken.

#include <QDateTime>
#include <QString>

struct PictureMetadata {
    double millimetresPerPixel = 0; // the calibrated (or chosen) scale; 0 when none is known
    bool scaleInMicrometres = true; // the unit the scale is given in: micrometres or millimetres
    QDateTime captured;             // invalid when unknown
    int magnification = 0;          // as typed; 0 when none
    QString microscope;             // the camera's name; empty when unknown

    bool HasScale() const { return millimetresPerPixel > 0; }
};

// The program's name and version, as the files it writes name their maker.
QString PictureSoftwareName();
