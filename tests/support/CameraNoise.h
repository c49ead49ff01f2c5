#pragma once
// What a camera does to a picture, for tests and comparisons that must not see it cleaner
// than a real one gives it.

#include <QImage>

// A picture as a camera gives it: sensor noise (2.5 grey levels), then JPEG at quality 85.
QImage AsACameraSeesIt(const QImage& picture, unsigned seed);
