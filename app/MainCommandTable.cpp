// The main window's commands, in the order of its menus. A new command is one entry here and
// its handler in MainCommands.

#include "app/AboutDlg.h"
#include "app/Commands.h"
#include "app/MainCommands.h"
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

void MainCommands::DeclareCommands(CommandTable& table)
{
    using M = CommandMenu;
    auto overlayOn = [this](bool OverlaySwitches::*which) {
        return [this, which] { return host_.Engine().Overlays().*which; };
    };
    auto isFormat = [this](PictureFormat format) {
        return [this, format] { return host_.StillFormat().Format() == format; };
    };

    // File, and the list's pop-up
    table.Add({.id = ID_FILE_OPEN,
               .text = {"Open", "Open..."},
               .menu = M::File,
               .section = 1,
               .popUps = kListPopUp,
               .popUpText = {"Open", "Open...", kListText},
               .run = [this] { OpenSelected(); }});
    table.Add({.id = ID_FILE_SAVE_AS,
               .text = {"Save", "Save As"},
               .menu = M::File,
               .section = 2,
               .popUps = kListPopUp,
               .sameAs = {IDC_SAVE},
               .popUpText = {"Save", "Save as", kListText},
               .run = [this] { SaveSelectedAs(); }});
    table.Add({.id = ID_FILE_DELETE,
               .text = {"Delete ", "Delete..."},
               .menu = M::File,
               .section = 2,
               .popUps = kListPopUp,
               .popUpText = {"Delete", "Delete...", kListText},
               .run = [this] { DeleteSelected(false); }});
    table.Add({.id = ID_FILE_DELETE_ALL,
               .text = {"DeleteAll", "Delete All"},
               .menu = M::File,
               .section = 2,
               .popUps = kListPopUp,
               .popUpText = {"DeleteAll", "Delete All", kListText},
               .run = [this] { DeleteSelected(true); }});
    table.Add({.id = ID_FILE_EMAIL,
               .text = {"EMail", "E-Mail..."},
               .menu = M::File,
               .section = 3,
               .popUps = kListPopUp,
               .sameAs = {IDC_EMAIL},
               .popUpText = {"EMail", "E-Mail...", kListText},
               .run = [this] { MailSelected(); }});
    table.Add({.id = ID_FILE_STACK,
               .text = {"StackPictures", "Stack pictures"},
               .menu = M::File,
               .section = 4,
               .popUps = kListPopUpSeveral,
               .run = [this] { CombineSelectedPictures(false); }});
    table.Add({.id = ID_FILE_MOSAIC,
               .text = {"MosaicOfPictures", "Mosaic of pictures"},
               .menu = M::File,
               .section = 4,
               .popUps = kListPopUpSeveral,
               .run = [this] { CombineSelectedPictures(true); }});

    // Setting
    table.Add({.id = ID_SETTING_640,
               .text = {"640*480", "640*480    F11"},
               .menu = M::Setting,
               .section = 1,
               .keys = {Qt::Key_F11},
               .run = [this] { SetResolution(640, 480); }});
    table.Add({.id = ID_SETTING_1280,
               .text = {"1280*1024", "1280*1024  F12"},
               .menu = M::Setting,
               .section = 1,
               .keys = {Qt::Key_F12},
               .run = [this] { SetResolution(1280, 1024); }});
    table.Add({.id = ID_SETTING_DEVICE,
               .text = {"Device...", "Device Settings"},
               .menu = M::Setting,
               .section = 2,
               .sameAs = {IDC_SETTING},
               .run = [this] { RunVideoSetting(); }});
    table.Add({.id = ID_SETTING_CALIBRATIONS,
               .text = {"CalibrationsMenu", "Calibrations..."},
               .menu = M::Setting,
               .section = 2,
               .run = [this] { RunCalibrations(); }});
    table.Add({.id = ID_SETTING_FLATFIELD,
               .text = {"FlatFieldMenu", "Flat field..."},
               .menu = M::Setting,
               .section = 2,
               .run = [this] { RunFlatField(); }});
    table.Add({.id = ID_STILL_FORMAT_BMP,
               .text = {nullptr, "BMP"},
               .menu = M::StillFormat,
               .section = 1,
               .run = [this] { SetStillFormat(PictureFormat::Bmp); },
               .checked = isFormat(PictureFormat::Bmp),
               .oneOfGroup = true});
    table.Add({.id = ID_STILL_FORMAT_TIFF,
               .text = {nullptr, "TIFF"},
               .menu = M::StillFormat,
               .section = 1,
               .run = [this] { SetStillFormat(PictureFormat::Tiff); },
               .checked = isFormat(PictureFormat::Tiff),
               .oneOfGroup = true});
    table.Add({.id = ID_STILL_FORMAT_PNG,
               .text = {nullptr, "PNG"},
               .menu = M::StillFormat,
               .section = 1,
               .run = [this] { SetStillFormat(PictureFormat::Png); },
               .checked = isFormat(PictureFormat::Png),
               .oneOfGroup = true});
    table.Add({.id = ID_STILL_NOMINAL_SCALE,
               .text = {"StillNominalScale", "Nominal scale without a calibration", 64},
               .menu = M::StillFormat,
               .section = 2,
               .run = [this] { SwitchStillOption(ID_STILL_NOMINAL_SCALE); },
               .checked = [this] { return host_.StillFormat().NominalScale(); }});

    // The overlays: in Setting and over the live picture
    auto connected = [this] { return host_.IsConnected(); };
    table.Add({.id = ID_SETTING_CROSS,
               .text = {"Cross", "Cross Line"},
               .menu = M::Setting,
               .section = 3,
               .run = [this] { SwitchOverlay(ID_OVERLAY_CROSS); },
               .enabled = connected,
               .checked = overlayOn(&OverlaySwitches::crossLine)});
    table.Add({.id = ID_OVERLAY_CROSS,
               .text = {"Cross", "Cross Line"},
               .section = 3,
               .popUps = kPicturePopUp,
               .icon = IDI_CROSS,
               .run = [this] { SwitchOverlay(ID_OVERLAY_CROSS); },
               .enabled = connected,
               .checked = overlayOn(&OverlaySwitches::crossLine)});
    table.Add({.id = ID_OVERLAY_SCALE,
               .text = {"Scale", "Scale"},
               .menu = M::Setting,
               .section = 3,
               .popUps = kPicturePopUp,
               .icon = IDI_SCALE,
               .run = [this] { SwitchOverlay(ID_OVERLAY_SCALE); },
               .enabled = connected,
               .checked = overlayOn(&OverlaySwitches::coordinates)});
    table.Add({.id = ID_OVERLAY_CIRCLE,
               .text = {"Circle", "Circle"},
               .menu = M::Setting,
               .section = 3,
               .popUps = kPicturePopUp,
               .icon = IDI_CIRCLE,
               .run = [this] { SwitchOverlay(ID_OVERLAY_CIRCLE); },
               .enabled = connected,
               .checked = overlayOn(&OverlaySwitches::circles)});
    table.Add({.id = ID_OVERLAY_TIME,
               .text = {"Time", "Time"},
               .menu = M::Setting,
               .section = 3,
               .popUps = kPicturePopUp,
               .icon = IDI_TIME,
               .run = [this] { SwitchOverlay(ID_OVERLAY_TIME); },
               .enabled = connected,
               .checked = overlayOn(&OverlaySwitches::dateTime)});
    table.Add({.id = ID_OVERLAY_SCALE_BAR,
               .text = {"ScaleBar", "Scale bar"},
               .section = 3,
               .popUps = kPicturePopUp,
               .icon = IDI_SCALE,
               .run = [this] { SwitchScaleBar(); },
               .enabled = connected,
               .checked = overlayOn(&OverlaySwitches::scaleBar)});
    table.Add({.id = ID_OVERLAY_PEAKING,
               .text = {"FocusPeaking", "Focus peaking"},
               .section = 3,
               .popUps = kPicturePopUp,
               .icon = IDI_CROSS,
               .run = [this] { host_.Focus().SetPeaking(!host_.Focus().Peaking()); },
               .checked = [this] { return host_.Focus().Peaking(); }});

    // Capture
    table.Add({.id = ID_CAPTURE_PICTURE,
               .text = {"Take Picture", "Take Picture...      F2"},
               .menu = M::Capture,
               .section = 1,
               .keys = {Qt::Key_F2},
               .sameAs = {IDC_CAMERA},
               .run = [this] { TakeStillPicture(); }});
    table.Add({.id = ID_CAPTURE_VIDEO,
               .text = {"Take Video", "Take Video/Stop...   F3/F4"},
               .menu = M::Capture,
               .section = 1,
               .sameAs = {IDC_AVI},
               .run = [this] { host_.Recording().OnAviCommand(); }});
    table.Add({.keys = {Qt::Key_F3}, .run = [this] { host_.Recording().OnQuickStart(); }});
    table.Add({.keys = {Qt::Key_F4}, .run = [this] { host_.Recording().OnQuickStop(); }});
    table.Add({.id = ID_CAPTURE_TIMELAPSE,
               .text = {"Take time lapsed Pictures", "Take Time-Lapse Pictures"},
               .menu = M::Capture,
               .section = 2,
               .sameAs = {IDC_CLOCK},
               .run = [this] { RunTimeLapse(); }});
    table.Add({.id = ID_CAPTURE_FOCUS_STACK,
               .text = {"FocusStackMenu", "All in focus        F6"},
               .menu = M::Capture,
               .section = 2,
               .keys = {Qt::Key_F6},
               .run = [this] { ToggleFocusStack(); }});
    table.Add({.id = ID_CAPTURE_MOSAIC,
               .text = {"MosaicMenu", "Mosaic              F7"},
               .menu = M::Capture,
               .section = 2,
               .keys = {Qt::Key_F7},
               .run = [this] { ToggleMosaic(); }});
    table.Add({.id = ID_CAPTURE_DEPTH_MAP,
               .text = {"DepthMapMenu", "All in focus with its depth map", 64},
               .menu = M::Capture,
               .section = 2,
               .run = [this] { SwitchStillOption(ID_CAPTURE_DEPTH_MAP); },
               .checked = [this] { return host_.StillFormat().DepthMap(); }});
    // Esc drops a stack or a mosaic (nothing is saved), else leaves full screen.
    table.Add({.keys = {Qt::Key_Escape}, .run = [this] { CancelOrLeaveFullScreen(); }});
    // The hidden Preview button.
    table.Add({.id = IDC_PREVIEW, .run = [this] { host_.ReturnToPreview(); }});

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
               .run = [this] { ShowAbout(); }});
}
