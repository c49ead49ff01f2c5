// Redrawing a full grid of ten 1280 x 1024 thumbnails, decoded anew as the list does.
#include "app/stills/StillPicture.h"
#include "browser/ThumbnailList.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

void FillFolder(const QString& folder, bool jpeg)
{
    QDir().mkpath(folder);
    QImage picture(1280, 1024, QImage::Format_RGB888);
    for (int y = 0; y < 1024; ++y)
        for (int x = 0; x < 1280; ++x) picture.setPixel(x, y, qRgb(x % 256, y % 256, (x + y) % 256));
    for (int i = 1; i <= 10; ++i) {
        const QString name = QString("%1/Still_N%2.%3").arg(folder).arg(i, 4, 10, QChar('0')).arg(jpeg ? "jpg" : "bmp");
        picture.save(name, jpeg ? "JPEG" : "BMP", 90);
    }
}

void RedrawGrid(benchmark::State& state, bool jpeg)
{
    QTemporaryDir dir;
    FillFolder(dir.path() + "/Picture", jpeg);
    QDir().mkpath(dir.path() + "/Video");
    CThumbnailList list(dir.path() + "/Picture", dir.path() + "/Video");
    if (jpeg)
        for (int i = 1; i <= 10; ++i)
            list.AddPictureFile(QString("%1/Picture/Still_N%2.jpg").arg(dir.path()).arg(i, 4, 10, QChar('0')));
    list.resize(220, 420);
    list.show();
    for (int i = 0; i < 20 && list.Cells()[0].isEmpty(); ++i) {
        QCoreApplication::processEvents();
        list.repaint();
    }
    for (auto _ : state) list.RedrawThumbnails();
    state.counters["cells"] = list.DrawnCells();
}

void RedrawTenBmpThumbnails(benchmark::State& state)
{
    RedrawGrid(state, false);
}
void RedrawTenJpegThumbnails(benchmark::State& state)
{
    RedrawGrid(state, true);
}
BENCHMARK(RedrawTenBmpThumbnails)->Unit(benchmark::kMillisecond);
BENCHMARK(RedrawTenJpegThumbnails)->Unit(benchmark::kMillisecond);

} // namespace
