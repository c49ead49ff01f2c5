#pragma once
// The names the program gives its stills, written and read in one place:
// "Still_2009-05-14_153045_200X_N0007.bmp", and the all-in-focus and mosaic ones with their
// tag ("..._200X_EDF_N0009.tif", "..._200X_MOS_N0010.png"). Every part that reads a
// magnification back from a name (Photo Measure, the list, Save as, the command line) asks here.

#include <QDateTime>
#include <QString>
#include <QStringList>

// The name patterns of the formats a still picture may have, for listing them and for
// counting their running numbers on together.
QStringList StillPicturePatterns();

// "Still_2009-05-14_153045_N0007.bmp", or with a magnification "..._200X_N0008.bmp"; the
// extension is the format's ("tif", "png").
// `tag` goes before the running number ("..._200X_EDF_N0009.bmp" for an all-in-focus one).
QString StillPictureName(const QDateTime& time, int magnification, int runningNumber,
                         const QString& extension = QStringLiteral("bmp"), const QString& tag = {});

// The magnification a still's name carries ("_200X_" before its running number, or before
// a tag and the running number); 0 when it carries none.
int MagnificationInName(const QString& path);
