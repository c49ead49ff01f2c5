#include "app/BatchCommands.h"
#include "app/MicroscopeApp.h"
#include "measure/StageCalibration.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    if (CMicroscopeApp::WantsVersion(argc, argv)) {
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("QRV-DM500"));
        CMicroscopeApp::PrintVersion();
        return 0;
    }
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    if (IsBatchCommand(arguments)) {
        // Commands for scripts need no display: no window system is asked.
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("QRV-DM500"));
        QCoreApplication::setOrganizationName(QStringLiteral("QRV"));
        QTextStream out(stdout), err(stderr);
        return RunBatchCommand(arguments, CalibrationStore::DefaultPath(), out, err);
    }
    if (const QString unknown = UnknownWindowOption(arguments); !unknown.isEmpty()) {
        QTextStream err(stderr);
        err << "qrv-dm500: unknown option " << unknown << "\n\n" << UsageText();
        return 2;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QRV-DM500"));
    QApplication::setOrganizationName(QStringLiteral("QRV"));
    QApplication::setDesktopFileName(QStringLiteral("com.qrvoptics.dm500"));

    CMicroscopeApp app;
    return app.Run(CMicroscopeApp::ParseArguments(QApplication::arguments()));
}
