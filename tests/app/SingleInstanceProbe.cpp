// A copy of the program's start-up for the single-instance test: it either hands over to a
// running copy ("handed-over") or becomes the running copy ("listening") and reports every
// request to come to the front ("activated").
#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) return 2;
    const bool stranger = argc > 2 && QByteArray(argv[2]) == "stranger";
    SingleInstance instance(QString::fromLocal8Bit(argv[1]), nullptr, stranger ? ::getuid() + 1 : ::getuid());
    if (instance.ActivateRunningCopy()) {
        std::printf("handed-over\n");
        return 0;
    }
    if (!instance.Attach([] {
            std::printf("activated%s%s\n", qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN") ? " token=" : "",
                        qgetenv("XDG_ACTIVATION_TOKEN").constData());
            std::fflush(stdout);
        }))
        return 3;
    std::printf("listening\n");
    std::fflush(stdout);
    QTimer::singleShot(30000, &app, &QCoreApplication::quit);
    return app.exec();
}
