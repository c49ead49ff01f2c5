// Every test runs inside one QApplication on the offscreen platform (or the one QRV_TEST_PLATFORM
// names: CI runs the window's tests on Wayland too), without sound. No
// test may wait for a person: message boxes and choosers answer at once unless a test
// installs its own answer.
#include "framework/FileDialogs.h"
#include "framework/MessageBox.h"
#include "media/FfmpegLog.h"

#include <QApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    const QByteArray platform = qgetenv("QRV_TEST_PLATFORM");
    qputenv("QT_QPA_PLATFORM", platform.isEmpty() ? QByteArray("offscreen") : platform);
    qputenv("QRV_NO_SOUND", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QRV-DM500"));
    QStandardPaths::setTestModeEnabled(true); // never the user's own settings
    SetMessageBoxHook([](const MessageBoxRequest&) { return Answer::Ok; });
    SetSaveFileHook([](const SaveFileRequest&) { return QString(); });
    SetOpenFileHook([](const SaveFileRequest&) { return QString(); });
    SetColorHook([](const QColor&) { return std::optional<QColor>(); });
    SetFontHook([](const QFont&) { return std::optional<QFont>(); });
    RouteFfmpegLogToMediaCategory(); // as the program does: FFmpeg says nothing on the terminal
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
