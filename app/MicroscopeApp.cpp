#include "MicroscopeApp.h"

#include "MainDialog.h"
#include "ProgramStyle.h"
#include "SingleInstance.h"
#include "capture/backend/BackendFactory.h"
#include "media/FfmpegLog.h"
#include "Resources.h"

#include <QApplication>

CMicroscopeApp::Options CMicroscopeApp::ParseArguments(const QStringList& arguments)
{
    Options options;
    options.simulate = arguments.contains(QStringLiteral("--simulate"));
    return options;
}

int CMicroscopeApp::Run(const Options& options)
{
    RouteFfmpegLogToMediaCategory();
    resources::Initialise();
    QApplication::setStyle(new ProgramStyle);

    SingleInstance instance(options.instanceName);
    if (instance.ActivateRunningCopy()) return 0; // the running copy came to the front

    std::unique_ptr<backend::CaptureBackend> captureBackend = CreateCaptureBackend(options.simulate);
    CMainDialog mainDialog(*captureBackend, instance);
    mainDialog.DoModal();
    // The main window stopped and released the capture engine when it closed.
    return 0;
}
