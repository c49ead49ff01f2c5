#include "MicroscopeApp.h"

#include "MainDialog.h"
#include "ProgramStyle.h"
#include "SingleInstance.h"
#include "TerminationSignals.h"
#include "capture/backend/BackendFactory.h"
#include "media/FfmpegLog.h"
#include "Resources.h"

#include "LangText.h"
#include "ProgramPaths.h"

#include <QApplication>
#include <QFileInfo>
#include <QTextStream>

#include <cstring>

CMicroscopeApp::Options CMicroscopeApp::ParseArguments(const QStringList& arguments)
{
    Options options;
    options.micrometer = arguments.contains(QStringLiteral("--simulate=micrometer"));
    options.simulate = options.micrometer || arguments.contains(QStringLiteral("--simulate"));
    return options;
}

bool CMicroscopeApp::WantsVersion(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--version") == 0) return true;
    return false;
}

void CMicroscopeApp::PrintVersion()
{
    SelectLanguageFile(DataDirectory());
    QTextStream out(stdout);
    out << QCoreApplication::applicationName() << ' ' << QStringLiteral(QRV_VERSION) << '\n'
        << "language file: " << LanguageFilePath()
        << (QFileInfo::exists(LanguageFilePath()) ? "" : " (missing: English texts are used)") << '\n'
        << "manual: " << HelpFilePath() << '\n';
}

int CMicroscopeApp::Run(const Options& options)
{
    RouteFfmpegLogToMediaCategory();
    resources::Initialise();
    QApplication::setStyle(new ProgramStyle);

    SingleInstance instance(options.instanceName);
    if (instance.ActivateRunningCopy()) return 0; // the running copy came to the front

    // Log-out, shutdown and Ctrl+C close the window as its close box does; one that comes
    // while the window is being built is taken once it runs.
    TerminationSignals termination;
    std::unique_ptr<backend::CaptureBackend> captureBackend = CreateCaptureBackend(options.simulate, options.micrometer ? Slide::StageMicrometer : Slide::Tissue);
    CMainDialog mainDialog(*captureBackend, instance);
    QObject::connect(&termination, &TerminationSignals::Requested, &mainDialog,
                     [&mainDialog] { CloseForTermination(mainDialog); });
    mainDialog.DoModal();
    // The main window stopped and released the capture engine when it closed.
    return 0;
}
