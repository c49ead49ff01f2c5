#include "widgets/MenuXP.h"

#include <QAccessible>
#include <QApplication>
#include <QFontMetrics>

#include <gtest/gtest.h>

TEST(MenuXP, KeyCombinationTexts)
{
    EXPECT_EQ(CMenuXP::KeyCombinationText(Qt::ControlModifier, Qt::Key_S), "Ctrl+S");
    EXPECT_EQ(CMenuXP::KeyCombinationText(Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier, Qt::Key_F2),
              "Ctrl+Shift+Alt+F2");
    EXPECT_EQ(CMenuXP::KeyCombinationText(Qt::ControlModifier, Qt::Key_Escape), "Ctrl+");
    CMenuXP menu;
    QAction* save = menu.AppendItem(7, "Save", QIcon(), Qt::ControlModifier, Qt::Key_S);
    // The words are the item's name, the keys its shortcut: a screen reader reads "Save" and
    // the keys apart.
    EXPECT_EQ(save->text(), "Save");
    EXPECT_EQ(save->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_EQ(save->data().toInt(), 7);
    QAccessibleInterface* item = QAccessible::queryAccessibleInterface(&menu)->child(0);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(QAccessible::Name), "Save");
}

TEST(MenuXP, ItemsAreMeasuredInTheBoldMenuFont)
{
    const QFont font = QApplication::font("QMenu");
    QFont bold = font;
    bold.setBold(true);
    const QSize item = CMenuXP::MeasureItem(font, "Cross Line", false);
    EXPECT_EQ(item.width(), 2 * 16 + 12 + QFontMetrics(bold).horizontalAdvance("Cross Line"));
    EXPECT_EQ(item.height(), std::max(QFontMetrics(bold).height(), 20));
    EXPECT_EQ(CMenuXP::MeasureItem(font, QString(), true).height(), 6);

    CMenuXP menu;
    menu.AppendItem(1, "One");
    QAction* separator = menu.AppendSeparator();
    menu.AppendItem(2, "Two");
    menu.adjustSize();
    EXPECT_EQ(menu.actionGeometry(separator).height(), 6);
}

TEST(MenuXP, DrawsIconsTextAndDisabledItems)
{
    CMenuXP menu;
    QPixmap icon(16, 16);
    icon.fill(Qt::red);
    QAction* enabled = menu.AppendItem(1, "Line", QIcon(icon));
    QAction* disabled = menu.AppendItem(2, "Angle", QIcon(icon));
    disabled->setEnabled(false);
    menu.adjustSize();
    const QImage shot = menu.grab().toImage();
    const QRect first = menu.actionGeometry(enabled);
    const QRect second = menu.actionGeometry(disabled);
    // The enabled icon is drawn as it is; the disabled one embossed (no red).
    EXPECT_EQ(shot.pixelColor(first.left() + first.height() / 2, first.center().y()), QColor(Qt::red));
    bool red = false;
    for (int x = second.left(); x < second.left() + second.height(); ++x)
        for (int y = second.top(); y <= second.bottom(); ++y) red |= shot.pixelColor(x, y) == QColor(Qt::red);
    EXPECT_FALSE(red);
}
