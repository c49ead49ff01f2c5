#pragma once
// The program's log categories, one per layer. Silent by default; switch them on with
// QT_LOGGING_RULES, e.g. QT_LOGGING_RULES="qrv.*=true" or "qrv.capture.debug=true".

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcCapture)
Q_DECLARE_LOGGING_CATEGORY(lcUdev)
Q_DECLARE_LOGGING_CATEGORY(lcMedia)
Q_DECLARE_LOGGING_CATEGORY(lcSettings)
Q_DECLARE_LOGGING_CATEGORY(lcWindow)  // what the window system asked of the main window
Q_DECLARE_LOGGING_CATEGORY(lcSharing) // the shared live picture and the stream to a server
