#include "MicroscopeApp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QRV-DM500"));
    QApplication::setOrganizationName(QStringLiteral("QRV"));

    CMicroscopeApp app;
    return app.Run(CMicroscopeApp::ParseArguments(QApplication::arguments()));
}
