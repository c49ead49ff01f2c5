// Measuring: the polygon's pixel count, a repaint with 200 labelled shapes, saving an
// annotated 1280 x 1024 picture as JPEG, the caliper on a 1280 x 1024 picture (target 5 ms) and
// the live measurements drawn over a 1280 x 1024 frame (target 0.5 ms).
#include "measure/Caliper.h"
#include "measure/LiveMeasurement.h"
#include "measure/MeasureCanvas.h"
#include "measure/MeasureGeometry.h"
#include "measure/ShapeRenderer.h"

#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

void PolygonCountWholeView(benchmark::State& state)
{
    const std::vector<QPoint> polygon = {{0, 0}, {639, 10}, {600, 479}, {320, 200}, {10, 470}};
    for (auto _ : state) benchmark::DoNotOptimize(PolygonPixelCount(polygon));
}
BENCHMARK(PolygonCountWholeView)->Unit(benchmark::kMicrosecond);

void AddShapes(ShapeStore& shapes, int count)
{
    shapes.Clear();
    Calibration calibration;
    calibration.millimetresPerPicturePixel = NominalMillimetresPerPicturePixel(97, {640, 480}, 640);
    for (int i = 0; i < count; ++i) {
        auto shape = std::make_unique<MeasureShape>();
        const int x = (i * 37) % 560, y = (i * 53) % 400;
        switch (i % 4) {
        case 0:
            shape->kind = ShapeLine;
            shape->points = {{x, y}, {x + 60, y + 20}};
            break;
        case 1:
            shape->kind = ShapeRectangle;
            shape->points = {{x, y}, {x + 50, y + 40}};
            break;
        case 2:
            shape->kind = ShapeRadiusCircle;
            shape->points = {{x + 30, y + 30}, {x + 50, y + 30}};
            break;
        default:
            shape->kind = ShapeThreePointCircle;
            shape->points = {{x, y + 30}, {x + 30, y}, {x + 60, y + 30}};
            break;
        }
        shape->labels = MeasureLabels(shape->kind, shape->points, calibration).value_or(std::vector<QString>{});
        shape->labelFont = DefaultLabelFont();
        shapes.Add(std::move(shape));
    }
}

QString Picture(const QTemporaryDir& dir, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(qRgb(220, 200, 210));
    const QString path = dir.path() + "/picture.bmp";
    image.save(path, "BMP");
    return path;
}

void RepaintWith200Shapes(benchmark::State& state)
{
    QTemporaryDir dir;
    CMeasureCanvas canvas(Picture(dir, {640, 480}), QSize(640, 480));
    AddShapes(canvas.Shapes(), 200);
    for (auto _ : state) {
        canvas.Undo(); // marks the view for recomposing, as every change does
        canvas.Redo();
        benchmark::DoNotOptimize(canvas.ComposedView());
    }
}
BENCHMARK(RepaintWith200Shapes)->Unit(benchmark::kMillisecond);

void SaveAnnotatedJpeg1280x1024(benchmark::State& state)
{
    QTemporaryDir dir;
    CMeasureCanvas canvas(Picture(dir, {1280, 1024}), QSize(640, 480));
    AddShapes(canvas.Shapes(), 50);
    for (auto _ : state) benchmark::DoNotOptimize(canvas.SaveAnnotated(dir.path() + "/annotated.jpg"));
}
BENCHMARK(SaveAnnotatedJpeg1280x1024)->Unit(benchmark::kMillisecond);

// The caliper across two edges 120 pixels apart on a 1280 x 1024 picture.
void CaliperAcrossAWire1280x1024(benchmark::State& state)
{
    QImage picture(1280, 1024, QImage::Format_RGB32);
    picture.fill(qRgb(220, 220, 220));
    for (int y = 0; y < 1024; ++y)
        for (int x = 600; x < 720; ++x) picture.setPixel(x, y, qRgb(60, 60, 60));
    for (auto _ : state) benchmark::DoNotOptimize(MeasureWithCaliper(picture, QPointF(560, 500), QPointF(760, 530)));
}
BENCHMARK(CaliperAcrossAWire1280x1024)->Unit(benchmark::kMillisecond);

// Over the live picture at 1280 x 1024: N lines, N calipers and a count of 5 N marks (2: what
// a user measures at once; 10: a crowded picture).
void DrawLiveMeasurements1280x1024(benchmark::State& state)
{
    QImage frame(1280, 1024, QImage::Format_RGB32);
    frame.fill(qRgb(200, 200, 200));
    LiveMeasurement live;
    for (const auto tool : {LiveMeasurement::Tool::Line, LiveMeasurement::Tool::Caliper})
        for (int i = 0; i < state.range(0); ++i) {
            live.SetTool(tool);
            live.Click(QPointF(100 + 50 * i, 100), frame.size(), frame);
            live.Click(QPointF(140 + 50 * i, 400), frame.size(), frame);
        }
    live.SetTool(LiveMeasurement::Tool::Count);
    for (int i = 0; i < 5 * state.range(0); ++i) live.Click(QPointF(20 * i + 10, 700), frame.size(), frame);
    QImage view(1280, 1024, QImage::Format_RGB32);
    QPainter painter(&view);
    for (auto _ : state) live.Draw(painter, view.rect(), {0.00125, true, false});
}
BENCHMARK(DrawLiveMeasurements1280x1024)->Arg(2)->Arg(10)->Unit(benchmark::kMillisecond);

} // namespace
