#include "CameraNoise.h"

#include <QBuffer>

#include <algorithm>
#include <cmath>
#include <random>

QImage AsACameraSeesIt(const QImage& picture, unsigned seed)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0, 2.5);
    QImage noisy = picture.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < noisy.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(noisy.scanLine(y));
        for (int x = 0; x < noisy.width(); ++x) {
            auto channel = [&](int v) { return std::clamp(static_cast<int>(std::lround(v + noise(random))), 0, 255); };
            line[x] = qRgb(channel(qRed(line[x])), channel(qGreen(line[x])), channel(qBlue(line[x])));
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    noisy.save(&buffer, "JPEG", 85);
    return QImage::fromData(bytes, "JPEG");
}
