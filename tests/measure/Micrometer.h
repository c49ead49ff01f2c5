#pragma once
// The simulated stage micrometer as the camera gives it, with where its long division lines
// (every 0.1 mm) are: the truth the caliper and live measuring are checked against.

#include <QImage>

#include <vector>

// The simulated stage micrometer as the camera gives it at `width`: 1 mm in 100 divisions,
// a long division line every 0.1 mm.
struct Micrometer {
    QImage picture;
    double millimetresPerPixel = 0;
    int baselineY = 0;
    std::vector<double> longLines; // their centres, left to right
};

Micrometer RenderMicrometer(int width, int height);
// The same found on a picture of it (the live picture's frame).
Micrometer FindMicrometer(const QImage& picture);
