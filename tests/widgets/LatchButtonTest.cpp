#include "widgets/BitmapButton.h"

#include <QTest>

#include <gtest/gtest.h>

TEST(LatchButton, LooksFollowOnlyLatchAndUnlatch)
{
    QPixmap normal(23, 23), pressed(23, 23);
    normal.fill(Qt::blue);
    pressed.fill(Qt::green);
    CLatchButton button;
    button.LoadBitmaps(normal, pressed);
    EXPECT_EQ(button.size(), QSize(23, 23));
    button.show();
    auto centre = [&] { return button.grab().toImage().pixelColor(11, 11); };
    EXPECT_EQ(centre(), QColor(Qt::blue));
    QTest::mousePress(&button, Qt::LeftButton);
    EXPECT_EQ(centre(), QColor(Qt::blue)); // the mouse does not press it
    QTest::mouseRelease(&button, Qt::LeftButton);
    button.Latch();
    EXPECT_TRUE(button.IsLatched());
    EXPECT_EQ(centre(), QColor(Qt::green));
    button.Unlatch();
    EXPECT_EQ(centre(), QColor(Qt::blue));
    button.setEnabled(false);
    EXPECT_NE(centre(), QColor(Qt::blue)); // greyed
}
