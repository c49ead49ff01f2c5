#include "app/PictureDescription.h"

#include "measure/MeasureGeometry.h"
#include "measure/StageCalibration.h"

PictureMetadata DescribePicture(const PictureMetadata& carried, int magnification, QSize size,
                                const CalibrationStore& calibrations, bool nominalWithoutCalibration)
{
    PictureMetadata described = carried;
    if (described.magnification <= 0) described.magnification = magnification;
    if (described.HasScale() || magnification <= 0 || size.width() <= 0) return described;
    if (const std::optional<StageCalibration> calibration = calibrations.Find(magnification)) {
        described.millimetresPerPixel = CalibrationStore::MillimetresPerPicturePixel(*calibration, size.width());
    } else if (nominalWithoutCalibration) {
        // What Photo Measure reads from the nominal factor, on its 640-pixel-wide view.
        if (const std::optional<int> rate = CalibrationRate(magnification, size.width(), size.height()))
            described.millimetresPerPixel = NominalMillimetresPerPicturePixel(*rate, size, 640);
    }
    return described;
}
