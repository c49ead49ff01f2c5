#pragma once
// The application object: prepares the process-wide services, lets only one copy run,
// and runs the main window until it closes.

#include <QStringList>

namespace backend {
class CaptureBackend;
}

class CMicroscopeApp {
public:
    struct Options {
        bool simulate = false;  // add the simulated microscope to the device catalogue
        bool micrometer = false; // --simulate=micrometer: it shows a stage micrometer
        QString instanceName;   // single-instance socket name; empty = the program's own
    };

    static Options ParseArguments(const QStringList& arguments);
    // --version: the version and the language file and manual this installation uses. Needs
    // only a core application, so it runs without a display.
    static bool WantsVersion(int argc, char** argv);
    static void PrintVersion();

    // Runs the whole program; returns the process exit code.
    int Run(const Options& options);
};
