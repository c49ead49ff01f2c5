#pragma once
// Reading a picture file a user opens to look at or convert: BMP or JPEG by its extension,
// at its full size. Pictures from other cameras can be far larger than ours, so the
// decoder's allocation limit is raised to what the picture needs, within a bound.

#include <QImage>
#include <QString>

// Pictures above this many pixels are refused with a reason rather than decoded.
constexpr qint64 kMaxPicturePixels = 64ll * 1024 * 1024;

// The picture as RGB32, or a null image with the reason (in the program's words plus the
// system's or the decoder's) in `reason`.
QImage ReadPictureFile(const QString& path, QString* reason);
