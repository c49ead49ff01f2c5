// Every test runs inside one QApplication on the offscreen platform, without sound.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QRV_NO_SOUND", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QRV-DM500"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
