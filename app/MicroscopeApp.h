#pragma once

#include <optional>
// The application object: prepares the process-wide services, lets only one copy run,
// and runs the main window until it closes.

#include "capture/backend/BackendFactory.h"

#include <QStringList>

namespace backend {
class CaptureBackend;
}

class CMicroscopeApp {
public:
    struct Options {
        // --simulate[=micrometer,uneven,blank]: the simulated microscope joins the device
        // catalogue, showing a stage micrometer, with an uneven lamp, over clear glass.
        SimulationOptions simulation;
        QString instanceName; // single-instance socket name; empty = the program's own
        // --share[=PORT]: the live picture is shared with browsers from the start.
        std::optional<quint16> sharePort;
        // --stream=ADDRESS: the live picture goes to a streaming server from the start.
        QString streamAddress;
    };

    static Options ParseArguments(const QStringList& arguments);
    // --version: the version and the language file and manual this installation uses. Needs
    // only a core application, so it runs without a display.
    static bool WantsVersion(int argc, char** argv);
    static void PrintVersion();

    // Runs the whole program; returns the process exit code.
    int Run(const Options& options);
};
