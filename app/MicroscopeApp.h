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
        QString instanceName;   // single-instance socket name; empty = the program's own
    };

    static Options ParseArguments(const QStringList& arguments);

    // Runs the whole program; returns the process exit code.
    int Run(const Options& options);
};
