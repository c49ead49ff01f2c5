#pragma once
// The program's bitmaps, icons and sounds, looked up by number.

#include "resources/ResourceIds.h"

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>

namespace resources {

// Makes the compiled-in resources available; call once before the first lookup.
void Initialise();

// A bitmap drawn for the screens' scale: on screens scaled to 150 % and more the one with
// twice the pixels, its device pixel ratio set (so it lays out at the same size and paints
// crisp). Null when there is no such bitmap. `ratio` 1 asks for the plain one.
QImage LoadBitmapImage(int id, double ratio = 0);
QPixmap LoadBitmap(int id);
// The pixel ratio bitmaps are drawn for: 2 when a screen is scaled to 150 % or more, else 1.
double BitmapRatio();
// `rect` of a bitmap in laid-out coordinates, in the bitmap's own pixels (for drawing a part of it).
QRect PixelsOf(const QRect& rect, const QImage& bitmap);
QIcon LoadIcon(int id);
QString SoundPath(int id); // path of a WAVE resource, for a sound player
QString LoadString(int id);

} // namespace resources
