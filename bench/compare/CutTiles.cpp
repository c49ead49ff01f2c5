// Writes the tiles the mosaic tests cut from a real photograph, for the comparison with the
// established tools: cut_tiles PHOTO OVERLAP SEED FOLDER writes FOLDER/tile_NN.png (in a
// shuffled order) and FOLDER/truth.csv (each file's top-left in the photograph).
#include "RealTiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <random>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 5) {
        QTextStream(stderr) << "usage: cut_tiles PHOTO OVERLAP SEED FOLDER\n";
        return 2;
    }
    TileOptions options;
    options.overlap = arguments[2].toDouble();
    options.seed = arguments[3].toUInt();
    const std::vector<RealTile> tiles = CutTiles(RealPhotograph(arguments[1]), options);
    std::vector<int> order(tiles.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    std::mt19937 random(options.seed);
    std::shuffle(order.begin(), order.end(), random);
    QDir().mkpath(arguments[4]);
    QFile truth(arguments[4] + "/truth.csv");
    if (!truth.open(QIODevice::WriteOnly)) return 1;
    QTextStream out(&truth);
    for (std::size_t k = 0; k < order.size(); ++k) {
        const RealTile& tile = tiles[static_cast<std::size_t>(order[k])];
        const QString name = QStringLiteral("tile_%1.png").arg(k, 2, 10, QLatin1Char('0'));
        if (!tile.picture.save(arguments[4] + "/" + name)) return 1;
        out << name << ',' << tile.truth.x() << ',' << tile.truth.y() << '\n';
    }
    return 0;
}
