// The 3D view on a real X server (Xvfb) with Mesa's software renderer: the relief's heights
// from a stack, turned a step at every frame for two seconds. Prints the frames a second and
// the triangles; fails when nothing was drawn or the picture stays empty. An argument: a
// file to save the last frame in.
#include "capture/backend/ReliefSlide.h"
#include "heights/HeightView.h"
#include "processing/FocusStack.h"
#include "processing/HeightMap.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    ReliefSlide slide;
    slide.Prepare(640, 512);
    FocusStack stack({.align = true, .keepFrames = true});
    QImage last;
    for (const int focus : {8, 20, 31, 45, 58, 70, 82, 94}) {
        QImage frame(640, 512, QImage::Format_BGR888);
        slide.Render(focus, frame.bits(), static_cast<std::size_t>(frame.bytesPerLine()));
        stack.Add(frame);
    }
    auto map = HeightsOf(stack, {kNominalGrowthPerMicrometre, true, 0.2});
    if (!map) return 1;
    map->micrometresPerPixel = 5;
    CHeightView view;
    view.resize(800, 600);
    QElapsedTimer opened;
    opened.start();
    view.SetSurface(*map, stack.Result());
    view.show();
    QElapsedTimer turning;
    int startFrames = -1;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (view.FramesDrawn() == 0) return; // not shown yet
        if (startFrames < 0) {
            std::printf("3D view: first frame %lld ms after it was given the heights\n",
                        static_cast<long long>(opened.elapsed()));
            startFrames = view.FramesDrawn();
            turning.start();
        }
        view.Turn(3);
        // Turned for 2 s, or (a slow build on a busy machine) until it has drawn 10 turns: its
        // speed is the benchmark's; here it must draw while turning.
        const int frames = view.FramesDrawn() - startFrames;
        if (turning.elapsed() < 2000 || (frames < 10 && turning.elapsed() < 60000)) return;
        const QImage shot = view.grabFramebuffer();
        if (argc > 1) shot.save(QString::fromLocal8Bit(argv[1])); // a look at it
        int drawn = 0;
        for (int y = 0; y < shot.height(); y += 4)
            for (int x = 0; x < shot.width(); x += 4)
                if (qGray(shot.pixel(x, y)) > 60) ++drawn;
        const double share = static_cast<double>(drawn) / ((shot.width() / 4) * (shot.height() / 4));
        std::printf("3D view: %.1f frames a second turning, %d triangles, %.0f %% of the view drawn\n",
                    frames * 1000.0 / turning.elapsed(), view.Triangles(), 100 * share);
        application.exit(frames >= 10 && share > 0.2 ? 0 : 1);
    });
    tick.start(0);
    return application.exec();
}
