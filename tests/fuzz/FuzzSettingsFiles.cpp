// The JSON files of the user's configuration folder as they may be found (hand-edited,
// cut short, from another program): each microscope's remembered settings and the stage
// calibrations are read, used and written back.
#include "FuzzSupport.h"
#include "capture/DeviceSettingsMemory.h"
#include "measure/MeasureGeometry.h"
#include "measure/StageCalibration.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString devices = WriteInput("devices.json", data, size);
    DeviceSettingsMemory memory(devices);
    if (const RememberedSettings* settings = memory.Find("usb-Vizmora_QRV-DM500_0042-video-index0"))
        memory.RememberProperty("usb-Vizmora_QRV-DM500_0042-video-index0", 0,
                                static_cast<int>(settings->properties.size()), 2);
    memory.Save();

    const QString calibrations = WriteInput("calibrations.json", data, size);
    CalibrationStore store(calibrations);
    for (const StageCalibration& calibration : store.All()) {
        Calibration scale;
        scale.millimetresPerPicturePixel = CalibrationStore::MillimetresPerPicturePixel(calibration, 640);
        scale.unit = store.Unit();
        MeasureLabels(ShapeThreePointCircle, {{10, 10}, {50, 90}, {90, 10}}, scale);
    }
    static const std::uint8_t nothing = 0;
    CalibrationStore imported(WriteInput("other.json", &nothing, 0));
    imported.Import(calibrations);
    return 0;
}
