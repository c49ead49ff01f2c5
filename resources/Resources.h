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

QImage LoadBitmapImage(int id); // null image when there is no such bitmap
QPixmap LoadBitmap(int id);
QIcon LoadIcon(int id);
QString SoundPath(int id); // path of a WAVE resource, for a sound player
QString LoadString(int id);

} // namespace resources
