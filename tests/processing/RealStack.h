#pragma once
// A focus stack made from a real photograph as a lens would take it: the photograph is the
// board (height 0), a raised part of it stands at height 60, and a strip at the left lies far
// below (height -50, out of focus in every picture). Each picture is focused at one height:
// every layer blurred by its distance from the focus, the nearer ones laid over the farther
// with their blurred outline (a defocused part spreads over the board around it), a little
// larger each step (the focus knob), with sensor noise and JPEG's artefacts. The truth (each
// point sharp, in the first picture's geometry) is kept for the tests.

#include "CameraNoise.h"

#include <QImage>
#include <QRect>

#include <vector>

struct RealStack {
    std::vector<QImage> pictures;
    QImage truth;
    QRect raised;   // the raised part, in the first picture's pixels
    QRect farBelow; // the strip never in focus
};

// Focus from -10 to 70 in steps of 10 (nine pictures) over `photograph` (tests/data/photos).
RealStack MakeRealStack(const QString& photograph);
