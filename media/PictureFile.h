#pragma once
// Reading a picture file a user opens to look at or convert: BMP, JPEG, TIFF or PNG by its
// extension, at its full size, with the scale and facts the file carries. Pictures from other cameras can be far larger than ours, so the
// decoder's allocation limit is raised to what the picture needs, within a bound.

#include "media/PictureMetadata.h"

#include <QImage>
#include <QString>

// Pictures above this many pixels are refused with a reason rather than decoded.
constexpr qint64 kMaxPicturePixels = 64ll * 1024 * 1024;

// The picture as RGB32, or a null image with the reason (in the program's words plus the
// system's or the decoder's) in `reason`.
// `metadata`, when given, receives what the file says beside its pixels (a TIFF's or a PNG's
// scale; nothing for BMP and JPEG).
QImage ReadPictureFile(const QString& path, QString* reason, PictureMetadata* metadata = nullptr);
