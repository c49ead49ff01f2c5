#pragma once
// Command values of the main window's buttons and menus.

enum MainCommand : int {
    ID_ABOUT_SYSTEM = 16,
    IDC_CAMERA = 1005,
    IDC_AVI = 1006,
    IDC_CLOCK = 1007,
    IDC_SAVE = 1008,
    IDC_EMAIL = 1009,
    IDC_PREVIEW = 1014,
    IDC_SETTING = 1016,
    ID_FILE_OPEN = 32776,
    ID_FILE_SAVE_AS = 32777,
    ID_FILE_DELETE = 32778,
    ID_HELP_MANUAL = 32784,
    ID_HELP_ABOUT = 32786,
    ID_FILE_EMAIL = 32787,
    ID_OVERLAY_CROSS = 32788,
    ID_OVERLAY_SCALE = 32789,
    ID_OVERLAY_CIRCLE = 32790,
    ID_OVERLAY_TIME = 32791,
    ID_FILE_DELETE_ALL = 32792,
    ID_SETTING_DEVICE = 32797,
    ID_SETTING_CROSS = 32798,
    ID_CAPTURE_PICTURE = 32802,
    ID_CAPTURE_VIDEO = 32803,
    ID_CAPTURE_TIMELAPSE = 32805,
    ID_SETTING_640 = 32856,
    ID_SETTING_1280 = 32857,
    ID_SETTING_CALIBRATIONS = 32870, // the stage calibrations, after the device settings
    ID_OVERLAY_SCALE_BAR = 32871,    // the fifth overlay, from a stage calibration
    ID_SETTING_FLATFIELD = 32872,    // even light: the flat-field reference
    ID_OVERLAY_PEAKING = 32873,      // focus peaking over the live picture
    ID_STILL_FORMAT_BMP = 32874,     // the format of new stills
    ID_STILL_FORMAT_TIFF = 32875,
    ID_STILL_FORMAT_PNG = 32876,
    ID_CAPTURE_FOCUS_STACK = 32877,      // all in focus: start a stack, or stop and save it
    ID_STILL_NOMINAL_SCALE = 32878,      // TIFF/PNG stills carry the nominal scale without a calibration
    ID_CAPTURE_MOSAIC = 32879,           // start a mosaic, or stop and save it
    ID_FILE_STACK = 32880,               // the pictures selected in the list, stacked
    ID_FILE_MOSAIC = 32881,              // the pictures selected in the list, as a mosaic
    ID_CAPTURE_DEPTH_MAP = 32882,        // All in focus also saves its depth map
    ID_MEASURE_LINE = 32883,             // measuring on the live picture: a line,
    ID_MEASURE_CALIPER = 32884,          // the caliper,
    ID_MEASURE_COUNT = 32885,            // a count of marks,
    ID_MEASURE_CLEAR = 32886,            // and taking them all away
    ID_MEASURE_CIRCLE = 32887,           // a circle through three points,
    ID_MEASURE_ANGLE = 32888,            // an angle
    ID_MEASURE_DRAW_INTO_STILLS = 32889, // what is measured is also drawn into stills
    ID_SETTING_SHARE = 32890,            // the live picture shared with the room's browsers
    ID_SETTING_STREAM = 32891,           // the live picture sent to a streaming server
    ID_CAPTURE_HEIGHTS = 32892,          // heights and the 3D view of the pictures selected
};
