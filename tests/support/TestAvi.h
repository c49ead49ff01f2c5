#pragma once
// Writes small AVI files for the tests: raw 24-bit frames of a known colour, optionally
// behind an audio stream.

#include <QColor>
#include <QString>

bool WriteTestAvi(const QString& path, int width, int height, int frames, QColor firstFrameColour, bool audioFirst);
