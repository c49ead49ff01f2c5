#pragma once
// A QR code of a text (the sharing address with its code), black modules on white with the
// quiet zone around, each module `moduleSize` pixels; null when the text does not fit.

#include <QImage>
#include <QString>

QImage QrCodeImage(const QString& text, int moduleSize);
