#include "Micrometer.h"

#include "capture/backend/SlideRenderer.h"

#include <algorithm>

Micrometer RenderMicrometer(int width, int height)
{
    SlideRenderer renderer;
    renderer.Prepare(width, height, Slide::StageMicrometer);
    std::vector<std::uint8_t> frame(renderer.FrameBytes());
    renderer.RenderFrame(0, frame.data(), nullptr);
    return FindMicrometer(QImage(frame.data(), width, height, static_cast<qsizetype>(SlideRenderer::StrideOf(width)),
                                 QImage::Format_BGR888)
                              .convertToFormat(QImage::Format_RGB32));
}

Micrometer FindMicrometer(const QImage& picture)
{
    const int width = picture.width(), height = picture.height();
    Micrometer m;
    m.picture = picture;
    m.millimetresPerPixel = kSimulatedFieldWidthMillimetres / width;
    // The ruler's line is the darkest row; above the middle ticks only the long ones cross.
    long darkest = -1;
    for (int y = 0; y < height; ++y) {
        long sum = 0;
        for (int x = 0; x < width; ++x) sum += qGray(m.picture.pixel(x, y));
        if (darkest < 0 || sum < darkest) darkest = sum, m.baselineY = y;
    }
    const int probe = m.baselineY - static_cast<int>(0.04 * width);
    double weighted = 0, weight = 0;
    for (int x = 0; x < width; ++x) {
        const double ink = std::max(0, 180 - qGray(m.picture.pixel(x, probe)));
        if (ink > 0) {
            weighted += ink * x;
            weight += ink;
        } else if (weight > 0) {
            m.longLines.push_back(weighted / weight);
            weighted = weight = 0;
        }
    }
    return m;
}
