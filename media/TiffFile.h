#pragma once
// TIFF pictures through libtiff. Written: 24-bit RGB, uncompressed, with the scale the way
// ImageJ and Fiji read it (resolution in pixels per centimetre, and an ImageJ description
// that names the unit) and the capture's date, maker and program in their tags. Read: grey
// and colour of 8 and 16 bits a sample, in strips or tiles, uncompressed, LZW or Deflate,
// with the scale they carry.

#include "media/PictureMetadata.h"

#include <QImage>
#include <QString>

// Writes `picture` as a TIFF at `path` (the file is created or replaced as it is written;
// callers write under a temporary name). False with the reason.
bool WriteTiffFile(const QString& path, const QImage& picture, const PictureMetadata& metadata, QString* error);

// The picture as RGB32, or a null image with the reason; `metadata` receives the scale and
// what else the file says. Pictures above `maxPixels` are refused before they are decoded.
QImage ReadTiffFile(const QString& path, qint64 maxPixels, QString* reason, PictureMetadata* metadata);

// The ImageJ description of a scale ("ImageJ=..." and the unit), and back: the unit it
// names ("um", "micron", "mm", ...), empty when the text is not ImageJ's.
QByteArray ImageJDescription(const PictureMetadata& metadata);
QString ImageJUnitOf(const QByteArray& description);

// A map of values, one 32-bit float a pixel (NaN where there is none), as ImageJ reads it:
// calibrated across in `millimetresPerPixel` (0: not) and its values in micrometres (heights).
bool WriteValueTiff(const QString& path, int width, int height, const float* values, double millimetresPerPixel,
                    QString* error);
