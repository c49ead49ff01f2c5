#include "app/commands/OverlayCommands.h"

#include "app/Commands.h"
#include "app/commands/StillKeeping.h"
#include "capture/CaptureGraph.h"
#include "framework/LangText.h"
#include "framework/MessageBox.h"
#include "measure/StageCalibration.h"
#include "processing/FocusMeter.h"

void OverlayCommands::SwitchOverlay(int command)
{
    if (!host_.IsConnected()) return;
    const int index = command - ID_OVERLAY_CROSS;
    CCaptureGraph& engine = host_.Engine();
    OverlaySwitches overlays = engine.Overlays();
    bool* switches[4] = {&overlays.crossLine, &overlays.coordinates, &overlays.circles, &overlays.dateTime};
    int& counter = counters_[static_cast<std::size_t>(index)];
    if (counter % 2 == 0) {
        *switches[index] = true;
        ++counter;
    } else {
        *switches[index] = false;
        --counter;
    }
    engine.SetOverlays(overlays);
}

bool OverlayCommands::TakeScaleBarCalibration()
{
    // The bar's scale is the calibration of the magnification in the box.
    const CalibrationStore store(host_.CalibrationPath());
    const std::optional<StageCalibration> calibration = store.Find(TypedMagnification(host_.MagnificationText()));
    host_.Engine().SetScaleBarScale(calibration ? calibration->millimetresPerPixel : 0,
                                    store.Unit() == LengthUnit::Micrometre);
    return calibration.has_value();
}

void OverlayCommands::SwitchScaleBar()
{
    if (!host_.IsConnected()) return;
    CCaptureGraph& engine = host_.Engine();
    OverlaySwitches overlays = engine.Overlays();
    overlays.scaleBar = !overlays.scaleBar;
    if (overlays.scaleBar && !TakeScaleBarCalibration()) {
        ShowMessageBox(&host_.HostWidget(),
                       LangText("NoCalibration", 100, "There is no calibration for this magnification."),
                       host_.MessageCaption(), MessageButtons::Ok, MessageIcon::Information);
        return;
    }
    engine.SetOverlays(overlays);
}

void OverlayCommands::OnMagnificationEdited()
{
    // A bar on the live picture follows the box: another magnification, another scale (or
    // none where that magnification has no calibration).
    if (host_.Engine().Overlays().scaleBar) TakeScaleBarCalibration();
}

void OverlayCommands::SwitchPeaking()
{
    host_.Focus().SetPeaking(!host_.Focus().Peaking());
}

bool OverlayCommands::IsOn(bool OverlaySwitches::*which) const
{
    return host_.Engine().Overlays().*which;
}

bool OverlayCommands::PeakingOn() const
{
    return host_.Focus().Peaking();
}
