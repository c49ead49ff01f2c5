#include "app/MicroscopeApp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    if (CMicroscopeApp::WantsVersion(argc, argv)) {
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("QRV-DM500"));
        CMicroscopeApp::PrintVersion();
        return 0;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QRV-DM500"));
    QApplication::setOrganizationName(QStringLiteral("QRV"));
    QApplication::setDesktopFileName(QStringLiteral("com.qrvoptics.dm500"));

    CMicroscopeApp app;
    return app.Run(CMicroscopeApp::ParseArguments(QApplication::arguments()));
}
