#include "app/MicroscopeApp.h"
#include "framework/QtTranslations.h"

#include "app/BatchCommands.h"
#include "app/MainDialog.h"
#include "app/ProgramStyle.h"
#include "app/SimulationKeys.h"
#include "app/SingleInstance.h"
#include "app/TerminationSignals.h"
#include "capture/backend/BackendFactory.h"
#include "media/FfmpegLog.h"
#include "resources/Resources.h"

#include "app/ProgramPaths.h"
#include "framework/LangText.h"

#include <QApplication>
#include <QFileInfo>
#include <QTextStream>

#include <cstring>

CMicroscopeApp::Options CMicroscopeApp::ParseArguments(const QStringList& arguments)
{
    Options options;
    for (const QString& argument : arguments) {
        if (const auto port = SharePortOption(argument)) options.sharePort = *port;
        if (argument.startsWith(QLatin1String("--stream="))) options.streamAddress = argument.mid(9);
        if (argument != QLatin1String("--simulate") && !argument.startsWith(QLatin1String("--simulate="))) continue;
        options.simulation.enabled = true;
        for (const QString& part : argument.section(QLatin1Char('='), 1).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            if (part == QLatin1String("micrometer")) options.simulation.slide = Slide::StageMicrometer;
            else if (part == QLatin1String("uneven")) options.simulation.unevenLamp = true;
            else if (part == QLatin1String("blank")) options.simulation.blankField = true;
            else if (part == QLatin1String("raw")) options.simulation.motionJpeg = false;
            else if (part == QLatin1String("relief")) options.simulation.slide = Slide::Relief;
            else if (part == QLatin1String("sweep")) options.simulation.focusSweep = true;
            else if (part == QLatin1String("stage")) options.simulation.slide = Slide::Stage;
            else if (part == QLatin1String("path")) {
                options.simulation.slide = Slide::Stage;
                options.simulation.stagePath = true;
            }
        }
    }
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
    QCoreApplication::setApplicationVersion(QStringLiteral(QRV_VERSION));
    resources::Initialise();
    InstallQtTranslations(QLocale::system());
    QApplication::setStyle(new ProgramStyle);

    SingleInstance instance(options.instanceName);
    if (instance.ActivateRunningCopy()) return 0; // the running copy came to the front

    // Log-out, shutdown and Ctrl+C close the window as its close box does; one that comes
    // while the window is being built is taken once it runs.
    TerminationSignals termination;
    std::shared_ptr<backend::SimulatedDevice> simulated;
    std::unique_ptr<backend::CaptureBackend> captureBackend = CreateCaptureBackend(options.simulation, &simulated);
    CMainDialog mainDialog(*captureBackend, instance);
    // The simulated microscope's knobs on the keyboard: focus and the slide's empty area.
    SimulationKeys simulationKeys(simulated);
    if (simulated) QApplication::instance()->installEventFilter(&simulationKeys);
    QObject::connect(&termination, &TerminationSignals::Requested, &mainDialog,
                     [&mainDialog] { CloseForTermination(mainDialog); });
    if (options.sharePort) {
        // For a script (a classroom computer starting the program at log-in): where to look.
        QString error;
        if (mainDialog.Sharing().StartNow(*options.sharePort, &error)) {
            ShareControl& sharing = mainDialog.Sharing().Sharing();
            QTextStream(stdout) << "sharing " << sharing.Address() << " code " << sharing.Code() << Qt::endl;
        } else {
            QTextStream(stderr) << "qrv-dm500: sharing could not start: " << error << Qt::endl;
        }
    }
    if (!options.streamAddress.isEmpty()) {
        QString error;
        if (!mainDialog.Sharing().StreamNow(options.streamAddress, &error))
            QTextStream(stderr) << "qrv-dm500: cannot stream: " << error << Qt::endl;
    }
    mainDialog.DoModal();
    // The main window stopped and released the capture engine when it closed.
    return 0;
}
