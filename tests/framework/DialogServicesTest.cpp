#include "TestSupport.h"
#include "framework/DialogUnits.h"
#include "framework/FieldExchange.h"
#include "framework/ModalDialog.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

TEST(FieldExchange, FirstFailingFieldStopsAndEarlierFieldsKeepTheirValues)
{
    MessageBoxRecorder boxes;
    QWidget dialog;
    auto* first = new QLineEdit(&dialog);
    auto* second = new QLineEdit(&dialog);
    auto* third = new QLineEdit(&dialog);
    int a = 1, b = 2, c = 3;
    FieldExchange exchange;
    exchange.AddInt(first, &a, 0, 10);
    exchange.AddInt(second, &b, 1, 3);
    exchange.AddInt(third, &c, 0, 100);
    exchange.Load();
    EXPECT_EQ(second->text(), "2");

    dialog.show();
    first->setText("7");
    second->setText("4"); // out of bounds
    third->setText("50");
    EXPECT_FALSE(exchange.Save(&dialog));
    EXPECT_EQ(a, 7); // read before the failing field
    EXPECT_EQ(b, 2); // unchanged
    EXPECT_EQ(c, 3); // never read
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, FieldExchange::RangeMessage(1, 3));
    EXPECT_TRUE(WaitUntil([&] { return second->hasFocus() || QApplication::focusWidget() == second; }, 1000));

    second->setText("abc");
    EXPECT_FALSE(exchange.Save(&dialog));
    EXPECT_EQ(boxes.Boxes().size(), 2u);

    second->setText("3");
    EXPECT_TRUE(exchange.Save(&dialog));
    EXPECT_EQ(b, 3);
    EXPECT_EQ(c, 50);
}

TEST(DialogUnits, ScaleByTheFontsBaseUnits)
{
    const DialogBaseUnits base{6, 13};
    EXPECT_EQ(DialogUnitsToPixels(QRect(542, 5, 27, 12), base), QRect(813, 8, 41, 20));
    EXPECT_EQ(DialogUnitsToPixels(QRect(0, 0, 4, 8), base), QRect(0, 0, 6, 13));
}

namespace {
class ProbeDialog : public CModalDialog {
public:
    using CModalDialog::SetSwallowEscAndEnter;
};
} // namespace

TEST(ModalDialog, SwallowsEscAndEnterWhenAsked)
{
    ProbeDialog dialog;
    dialog.SetSwallowEscAndEnter(true);
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    dialog.SetSwallowEscAndEnter(false);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
}
