// Shows the main window (without a microscope) on the offscreen platform at the scale the
// environment sets (QT_SCALE_FACTOR) and saves what it looks like, in the screen's own
// pixels, to the file named on the command line. For the test of the window at 200 %.
#include "app/MainDialog.h"
#include "app/SingleInstance.h"
#include "capture/backend/SimulatedBackend.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QRV_NO_SOUND", "1");
    QApplication app(argc, argv);
    if (argc < 2) return 2;
    QTemporaryDir documents, program;
    backend::SimulatedBackend backend(false);
    SingleInstance instance("Vizmora-hidpi-" + QUuid::createUuid().toString(QUuid::Id128));
    CMainDialog window(backend, instance, nullptr,
                       CMainDialog::Places{documents.path(), program.path(), program.path()});
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) return 4;
    return window.grab().toImage().save(QString::fromLocal8Bit(argv[1])) ? 0 : 3;
}
