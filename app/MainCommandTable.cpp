// The main window's commands, in the order of its menus. A new command is one entry here and
// its handler (MainCommands, ListCommands, OverlayCommands).

#include "app/AboutDlg.h"
#include "app/Commands.h"
#include "app/MainCommands.h"
#include "app/commands/ListCommands.h"
#include "app/commands/LiveMeasureCommands.h"
#include "app/commands/OverlayCommands.h"
#include "app/commands/SharingCommands.h"
#include "app/recording/RecordingControl.h"
#include "app/stills/StillFormatSetting.h"
#include "capture/CaptureGraph.h"
#include "processing/FocusMeter.h"
#include "processing/LiveFocusStack.h"
#include "processing/LiveMosaic.h"
#include "resources/Resources.h"
#include "widgets/CommandTable.h"

namespace {

// The list's pop-up cuts its texts shorter than the menu bar.
constexpr int kListText = 20;

} // namespace

void DeclareMainCommands(CommandTable& table, MainCommands& capture, ListCommands& list, OverlayCommands& overlays,
                         SharingCommands& sharing, LiveMeasureCommands& measure, MainCommandHost& host)
{
    using M = CommandMenu;
    auto overlayOn = [&overlays](bool OverlaySwitches::*which) {
        return [&overlays, which] { return overlays.IsOn(which); };
    };
    auto isFormat = [&host](PictureFormat format) {
        return [&host, format] { return host.StillFormat().Format() == format; };
    };

    // File, and the list's pop-up
    table.Add({.id = ID_FILE_OPEN,
               .text = {"Open", "Open..."},
               .menu = M::File,
               .section = 1,
               .popUps = kListPopUp,
               .popUpText = {"Open", "Open...", kListText},
               .run = [&list] { list.OpenSelected(); }});
    table.Add({.id = ID_FILE_SAVE_AS,
               .text = {"Save", "Save As"},
               .menu = M::File,
               .section = 2,
               .popUps = kListPopUp,
               .sameAs = {IDC_SAVE},
               .popUpText = {"Save", "Save as", kListText},
               .run = [&list] { list.SaveSelectedAs(); }});
    table.Add({.id = ID_FILE_DELETE,
               .text = {"Delete ", "Delete..."},
               .menu = M::File,
               .section = 2,
               .popUps = kListPopUp,
               .popUpText = {"Delete", "Delete...", kListText},
               .run = [&list] { list.DeleteSelected(false); }});
    table.Add({.id = ID_FILE_DELETE_ALL,
               .text = {"DeleteAll", "Delete All"},
               .menu = M::File,
               .section = 2,
               .popUps = kListPopUp,
               .popUpText = {"DeleteAll", "Delete All", kListText},
               .run = [&list] { list.DeleteSelected(true); }});
    table.Add({.id = ID_FILE_EMAIL,
               .text = {"EMail", "E-Mail..."},
               .menu = M::File,
               .section = 3,
               .popUps = kListPopUp,
               .sameAs = {IDC_EMAIL},
               .popUpText = {"EMail", "E-Mail...", kListText},
               .run = [&list] { list.MailSelected(); }});
    table.Add({.id = ID_FILE_STACK,
               .text = {"StackPictures", "Stack pictures"},
               .menu = M::File,
               .section = 4,
               .popUps = kListPopUpSeveral,
               .run = [&list] { list.CombineSelectedPictures(false); }});
    table.Add({.id = ID_FILE_MOSAIC,
               .text = {"MosaicOfPictures", "Mosaic of pictures"},
               .menu = M::File,
               .section = 4,
               .popUps = kListPopUpSeveral,
               .run = [&list] { list.CombineSelectedPictures(true); }});

    // Setting
    table.Add({.id = ID_SETTING_640,
               .text = {"640*480", "640*480    F11"},
               .menu = M::Setting,
               .section = 1,
               .keys = {Qt::Key_F11},
               .run = [&capture] { capture.SetResolution(640, 480); }});
    table.Add({.id = ID_SETTING_1280,
               .text = {"1280*1024", "1280*1024  F12"},
               .menu = M::Setting,
               .section = 1,
               .keys = {Qt::Key_F12},
               .run = [&capture] { capture.SetResolution(1280, 1024); }});
    table.Add({.id = ID_SETTING_DEVICE,
               .text = {"Device...", "Device Settings"},
               .menu = M::Setting,
               .section = 2,
               .sameAs = {IDC_SETTING},
               .run = [&capture] { capture.RunVideoSetting(); }});
    table.Add({.id = ID_SETTING_CALIBRATIONS,
               .text = {"CalibrationsMenu", "Calibrations..."},
               .menu = M::Setting,
               .section = 2,
               .run = [&capture] { capture.RunCalibrations(); }});
    table.Add({.id = ID_SETTING_FLATFIELD,
               .text = {"FlatFieldMenu", "Flat field..."},
               .menu = M::Setting,
               .section = 2,
               .run = [&capture] { capture.RunFlatField(); }});
    table.Add({.id = ID_SETTING_SHARE,
               .text = {"ShareMenu", "Share live picture...", 40},
               .menu = M::Setting,
               .section = 2,
               .run = [&sharing] { sharing.OpenDialog(); },
               .checked = [&sharing] { return sharing.Sharing().IsSharing(); }});
    table.Add({.id = ID_SETTING_STREAM,
               .text = {"StreamMenu", "Stream to a server...", 40},
               .menu = M::Setting,
               .section = 2,
               .run = [&sharing] { sharing.OpenStreamDialog(); },
               .checked = [&sharing] { return sharing.Stream().IsStreaming(); }});
    table.Add({.id = ID_STILL_FORMAT_BMP,
               .text = {nullptr, "BMP"},
               .menu = M::StillFormat,
               .section = 1,
               .run = [&capture] { capture.SetStillFormat(PictureFormat::Bmp); },
               .checked = isFormat(PictureFormat::Bmp),
               .oneOfGroup = true});
    table.Add({.id = ID_STILL_FORMAT_TIFF,
               .text = {nullptr, "TIFF"},
               .menu = M::StillFormat,
               .section = 1,
               .run = [&capture] { capture.SetStillFormat(PictureFormat::Tiff); },
               .checked = isFormat(PictureFormat::Tiff),
               .oneOfGroup = true});
    table.Add({.id = ID_STILL_FORMAT_PNG,
               .text = {nullptr, "PNG"},
               .menu = M::StillFormat,
               .section = 1,
               .run = [&capture] { capture.SetStillFormat(PictureFormat::Png); },
               .checked = isFormat(PictureFormat::Png),
               .oneOfGroup = true});
    table.Add({.id = ID_STILL_NOMINAL_SCALE,
               .text = {"StillNominalScale", "Nominal scale without a calibration", 64},
               .menu = M::StillFormat,
               .section = 2,
               .run = [&capture] { capture.SwitchStillOption(ID_STILL_NOMINAL_SCALE); },
               .checked = [&host] { return host.StillFormat().NominalScale(); }});

    // The overlays: in Setting and over the live picture
    auto connected = [&host] { return host.IsConnected(); };
    table.Add({.id = ID_SETTING_CROSS,
               .text = {"Cross", "Cross Line"},
               .menu = M::Setting,
               .section = 3,
               .run = [&overlays] { overlays.SwitchOverlay(ID_OVERLAY_CROSS); },
               .enabled = connected,
               .checked = overlayOn(&OverlaySwitches::crossLine)});
    table.Add({.id = ID_OVERLAY_CROSS,
               .text = {"Cross", "Cross Line"},
               .section = 3,
               .popUps = kPicturePopUp,
               .icon = IDI_CROSS,
               .run = [&overlays] { overlays.SwitchOverlay(ID_OVERLAY_CROSS); },
               .enabled = connected,
               .checked = overlayOn(&OverlaySwitches::crossLine)});
    table.Add({.id = ID_OVERLAY_SCALE,
               .text = {"Scale", "Scale"},
               .menu = M::Setting,
               .section = 3,
               .popUps = kPicturePopUp,
               .icon = IDI_SCALE,
               .run = [&overlays] { overlays.SwitchOverlay(ID_OVERLAY_SCALE); },
               .enabled = connected,
               .checked = overlayOn(&OverlaySwitches::coordinates)});
    table.Add({.id = ID_OVERLAY_CIRCLE,
               .text = {"Circle", "Circle"},
               .menu = M::Setting,
               .section = 3,
               .popUps = kPicturePopUp,
               .icon = IDI_CIRCLE,
               .run = [&overlays] { overlays.SwitchOverlay(ID_OVERLAY_CIRCLE); },
               .enabled = connected,
               .checked = overlayOn(&OverlaySwitches::circles)});
    table.Add({.id = ID_OVERLAY_TIME,
               .text = {"Time", "Time"},
               .menu = M::Setting,
               .section = 3,
               .popUps = kPicturePopUp,
               .icon = IDI_TIME,
               .run = [&overlays] { overlays.SwitchOverlay(ID_OVERLAY_TIME); },
               .enabled = connected,
               .checked = overlayOn(&OverlaySwitches::dateTime)});
    table.Add({.id = ID_OVERLAY_SCALE_BAR,
               .text = {"ScaleBar", "Scale bar"},
               .section = 3,
               .popUps = kPicturePopUp,
               .icon = IDI_SCALE,
               .run = [&overlays] { overlays.SwitchScaleBar(); },
               .enabled = connected,
               .checked = overlayOn(&OverlaySwitches::scaleBar)});
    table.Add({.id = ID_OVERLAY_PEAKING,
               .text = {"FocusPeaking", "Focus peaking"},
               .section = 3,
               .popUps = kPicturePopUp,
               .icon = IDI_CROSS,
               .run = [&overlays] { overlays.SwitchPeaking(); },
               .checked = [&overlays] { return overlays.PeakingOn(); }});

    // Capture
    table.Add({.id = ID_CAPTURE_PICTURE,
               .text = {"Take Picture", "Take Picture...      F2"},
               .menu = M::Capture,
               .section = 1,
               .keys = {Qt::Key_F2},
               .sameAs = {IDC_CAMERA},
               .run = [&capture] { capture.TakeStillPicture(); }});
    table.Add({.id = ID_CAPTURE_VIDEO,
               .text = {"Take Video", "Take Video/Stop...   F3/F4"},
               .menu = M::Capture,
               .section = 1,
               .sameAs = {IDC_AVI},
               .run = [&host] { host.Recording().OnAviCommand(); }});
    table.Add({.keys = {Qt::Key_F3}, .run = [&host] { host.Recording().OnQuickStart(); }});
    table.Add({.keys = {Qt::Key_F4}, .run = [&host] { host.Recording().OnQuickStop(); }});
    table.Add({.id = ID_CAPTURE_TIMELAPSE,
               .text = {"Take time lapsed Pictures", "Take Time-Lapse Pictures"},
               .menu = M::Capture,
               .section = 2,
               .sameAs = {IDC_CLOCK},
               .run = [&capture] { capture.RunTimeLapse(); }});
    table.Add({.id = ID_CAPTURE_FOCUS_STACK,
               .text = {"FocusStackMenu", "All in focus        F6"},
               .menu = M::Capture,
               .section = 2,
               .keys = {Qt::Key_F6},
               .run = [&capture] { capture.ToggleFocusStack(); }});
    table.Add({.id = ID_CAPTURE_MOSAIC,
               .text = {"MosaicMenu", "Mosaic              F7"},
               .menu = M::Capture,
               .section = 2,
               .keys = {Qt::Key_F7},
               .run = [&capture] { capture.ToggleMosaic(); }});
    table.Add({.id = ID_CAPTURE_DEPTH_MAP,
               .text = {"DepthMapMenu", "All in focus with its depth map", 64},
               .menu = M::Capture,
               .section = 2,
               .run = [&capture] { capture.SwitchStillOption(ID_CAPTURE_DEPTH_MAP); },
               .checked = [&host] { return host.StillFormat().DepthMap(); }});
    table.Add({.id = ID_CAPTURE_HEIGHTS,
               .text = {"HeightsMenu", "Heights...", 40},
               .menu = M::Capture,
               .section = 2,
               .popUps = kListPopUpSeveral,
               .run = [&list] { list.ShowHeights(); }});
    // Measuring on the live picture: a tool chosen again is put down.
    using Tool = LiveMeasurement::Tool;
    auto tool = [&measure](Tool which) { return [&measure, which] { measure.ChooseTool(which); }; };
    auto toolIs = [&measure](Tool which) { return [&measure, which] { return measure.ToolIs(which); }; };
    table.Add({.id = ID_MEASURE_LINE,
               .text = {"MeasureLineMenu", "Line"},
               .menu = M::Measure,
               .section = 1,
               .popUps = kPicturePopUp,
               .run = tool(Tool::Line),
               .enabled = connected,
               .checked = toolIs(Tool::Line)});
    table.Add({.id = ID_MEASURE_CIRCLE,
               .text = {"MeasureCircleMenu", "Circle (three points)"},
               .menu = M::Measure,
               .section = 1,
               .popUps = kPicturePopUp,
               .run = tool(Tool::Circle),
               .enabled = connected,
               .checked = toolIs(Tool::Circle)});
    table.Add({.id = ID_MEASURE_ANGLE,
               .text = {"MeasureAngleMenu", "Angle"},
               .menu = M::Measure,
               .section = 1,
               .popUps = kPicturePopUp,
               .run = tool(Tool::Angle),
               .enabled = connected,
               .checked = toolIs(Tool::Angle)});
    table.Add({.id = ID_MEASURE_CALIPER,
               .text = {"MeasureCaliperMenu", "Caliper"},
               .menu = M::Measure,
               .section = 1,
               .popUps = kPicturePopUp,
               .run = tool(Tool::Caliper),
               .enabled = connected,
               .checked = toolIs(Tool::Caliper)});
    table.Add({.id = ID_MEASURE_COUNT,
               .text = {"MeasureCountMenu", "Count"},
               .menu = M::Measure,
               .section = 1,
               .popUps = kPicturePopUp,
               .run = tool(Tool::Count),
               .enabled = connected,
               .checked = toolIs(Tool::Count)});
    table.Add({.id = ID_MEASURE_DRAW_INTO_STILLS,
               .text = {"MeasureDrawIntoStills", "Draw measurements into stills", 64},
               .menu = M::Measure,
               .section = 2,
               .run = [&capture] { capture.SwitchStillOption(ID_MEASURE_DRAW_INTO_STILLS); },
               .checked = [&host] { return host.StillFormat().DrawMeasurements(); }});
    table.Add({.id = ID_MEASURE_CLEAR,
               .text = {"MeasureClearMenu", "Clear measurements"},
               .menu = M::Measure,
               .section = 2,
               .popUps = kPicturePopUp,
               .run = [&measure] { measure.Clear(); }});
    // Esc drops a stack or a mosaic (nothing is saved), else what was measured on the live
    // picture, else leaves full screen.
    table.Add({.keys = {Qt::Key_Escape}, .run = [&capture, &measure] {
                   if (!capture.CancelStackOrMosaic() && !measure.Clear()) capture.LeaveFullScreen();
               }});
    // The hidden Preview button.
    table.Add({.id = IDC_PREVIEW, .run = [&host] { host.ReturnToPreview(); }});

    // Help
    table.Add({.id = ID_HELP_MANUAL,
               .text = {"ViewZentrixManual", "QRV-DM500 Help"},
               .menu = M::Help,
               .section = 1,
               .run = [] { OpenManual(); }});
    table.Add({.id = ID_HELP_ABOUT,
               .text = {"ViewZentrixAbout", "About QRV-DM500"},
               .menu = M::Help,
               .section = 1,
               .sameAs = {ID_ABOUT_SYSTEM},
               .run = [&capture] { capture.ShowAbout(); }});
}
