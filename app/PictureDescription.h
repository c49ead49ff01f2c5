#pragma once
// What a picture file the program writes says beside its pixels: the scale of the
// magnification's calibration (or the scale the source file already carries), the time, the
// magnification and the microscope. Shared by stills, Save as and the command line.

#include "media/PictureMetadata.h"

#include <QSize>
#include <QString>

class CalibrationStore;

// The description of a picture of `size` taken at `magnification`: the scale of its
// calibration; without one, none, or the nominal factor's scale when the user chose so
// (`nominalWithoutCalibration`: off unless asked, so nobody takes the nominal factor for a
// measurement). A scale the source carries (`carried`) wins: it was measured for that
// very picture.
PictureMetadata DescribePicture(const PictureMetadata& carried, int magnification, QSize size,
                                const CalibrationStore& calibrations, bool nominalWithoutCalibration = false);
