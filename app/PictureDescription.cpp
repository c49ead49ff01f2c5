#include "app/PictureDescription.h"

#include "measure/StageCalibration.h"

PictureMetadata DescribePicture(const PictureMetadata& carried, int magnification, int pictureWidth,
                                const CalibrationStore& calibrations)
{
    PictureMetadata described = carried;
    if (described.magnification <= 0) described.magnification = magnification;
    if (!described.HasScale() && magnification > 0 && pictureWidth > 0)
        if (const std::optional<StageCalibration> calibration = calibrations.Find(magnification))
            described.millimetresPerPixel = CalibrationStore::MillimetresPerPicturePixel(*calibration, pictureWidth);
    return described;
}
