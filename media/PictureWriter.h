#pragma once

#include <functional>
// Writing a picture a user keeps, in the format its name asks for: BMP, JPEG, TIFF (with
// the scale ImageJ reads) or PNG (with the scale in pHYs and the rest in text chunks).

#include "media/PictureMetadata.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <optional>

enum class PictureFormat { Bmp, Jpeg, Tiff, Png };

// The format a file name asks for by its extension (letter case ignored); none for others.
std::optional<PictureFormat> PictureFormatOf(const QString& path);
// The extension new files of a format get.
QString ExtensionOf(PictureFormat format);

// Writes the picture to `path` in its format, whole or not at all: under a temporary name
// that replaces `path` only when complete. False with the reason.
bool WritePictureFile(const QString& path, const QImage& picture, const PictureMetadata& metadata, QString* error);

// Writes a file by its name through `write` into a temporary file beside `path`, renamed over
// it only when `write` succeeded: an old file stays whole otherwise.
bool WriteByNameWhole(const QString& path, const std::function<bool(const QString& temporary, QString* error)>& write,
                      QString* error);
