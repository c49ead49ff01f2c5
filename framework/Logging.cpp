#include "framework/Logging.h"

// Only critical messages pass unless the rules ask for more.
Q_LOGGING_CATEGORY(lcCapture, "qrv.capture", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcUdev, "qrv.udev", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcMedia, "qrv.media", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcSettings, "qrv.settings", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcWindow, "qrv.window", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcSharing, "qrv.sharing", QtCriticalMsg)
