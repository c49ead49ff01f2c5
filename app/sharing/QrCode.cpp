#include "app/sharing/QrCode.h"

#include <qrencode.h>

#include <memory>

QImage QrCodeImage(const QString& text, int moduleSize)
{
    const QByteArray bytes = text.toUtf8();
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(bytes.constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
    if (!code || moduleSize <= 0) return {};
    constexpr int kQuietZone = 4; // modules of white around, as readers expect
    const int side = (code->width + 2 * kQuietZone) * moduleSize;
    QImage image(side, side, QImage::Format_Grayscale8);
    image.fill(255);
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x) {
            if (!(code->data[y * code->width + x] & 1)) continue; // bit 0: a dark module
            for (int dy = 0; dy < moduleSize; ++dy) {
                uchar* row = image.scanLine((y + kQuietZone) * moduleSize + dy);
                for (int dx = 0; dx < moduleSize; ++dx) row[(x + kQuietZone) * moduleSize + dx] = 0;
            }
        }
    return image;
}
