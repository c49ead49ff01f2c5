#include "RealTiles.h"

#include <QBuffer>

#include <algorithm>
#include <cmath>
#include <random>

QImage RealPhotograph(const QString& name)
{
    QImage photograph(QStringLiteral(TEST_DATA_DIR "/photos/") + name);
    // Enlarged (as the microscope's optics would) to at least 1500 pixels across.
    if (!photograph.isNull() && photograph.width() < 1500)
        photograph = photograph.scaledToWidth(1500, Qt::SmoothTransformation);
    return photograph.convertToFormat(QImage::Format_RGB32);
}

std::vector<RealTile> CutTiles(const QImage& photograph, const TileOptions& options)
{
    std::mt19937 random(options.seed);
    std::uniform_int_distribution<int> jitter(-options.jitter, options.jitter);
    std::uniform_real_distribution<double> exposure(1 - options.exposure, 1 + options.exposure);
    std::normal_distribution<double> noise(0, options.noise);
    const int stepX = static_cast<int>(std::lround(options.tile.width() * (1 - options.overlap)));
    const int stepY = static_cast<int>(std::lround(options.tile.height() * (1 - options.overlap)));
    const int margin = options.jitter;
    std::vector<RealTile> tiles;
    for (int row = 0; row < options.rows; ++row)
        for (int i = 0; i < options.columns; ++i) {
            const int column = row % 2 == 0 ? i : options.columns - 1 - i; // serpentine
            QPoint at(margin + column * stepX + jitter(random), margin + row * stepY + jitter(random));
            at.setX(std::clamp(at.x(), 0, photograph.width() - options.tile.width()));
            at.setY(std::clamp(at.y(), 0, photograph.height() - options.tile.height()));
            QImage tile = photograph.copy(QRect(at, options.tile));
            const double gain = exposure(random);
            const double cx = tile.width() / 2.0, cy = tile.height() / 2.0, corner = cx * cx + cy * cy;
            for (int y = 0; y < tile.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(tile.scanLine(y));
                for (int x = 0; x < tile.width(); ++x) {
                    const double r2 = ((x - cx) * (x - cx) + (y - cy) * (y - cy)) / corner;
                    const double factor = gain * (1 - options.vignette * r2);
                    auto channel = [&](int value) {
                        return std::clamp(static_cast<int>(std::lround(value * factor + noise(random))), 0, 255);
                    };
                    line[x] = qRgb(channel(qRed(line[x])), channel(qGreen(line[x])), channel(qBlue(line[x])));
                }
            }
            if (options.jpegQuality > 0) {
                QByteArray bytes;
                QBuffer buffer(&bytes);
                buffer.open(QIODevice::WriteOnly);
                tile.save(&buffer, "JPEG", options.jpegQuality);
                tile = QImage::fromData(bytes, "JPEG").convertToFormat(QImage::Format_RGB32);
            }
            tiles.push_back({tile, at});
        }
    return tiles;
}
