#include "widgets/CommandTable.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

struct Declared {
    QWidget window;
    CommandTable table{window};
    std::vector<int> ran;
    bool connected = false;
    bool peaking = false;

    Declared()
    {
        auto record = [this](int id) { return [this, id] { ran.push_back(id); }; };
        table.Add({.id = 1,
                   .text = {nullptr, "Open..."},
                   .menu = CommandMenu::File,
                   .section = 1,
                   .popUps = kListPopUp,
                   .popUpText = {nullptr, "Open"},
                   .run = record(1)});
        table.Add({.id = 2,
                   .text = {nullptr, "Save As"},
                   .menu = CommandMenu::File,
                   .section = 2,
                   .popUps = kListPopUp,
                   .sameAs = {102},
                   .run = record(2)});
        table.Add({.id = 3,
                   .text = {nullptr, "Stack"},
                   .menu = CommandMenu::File,
                   .section = 2,
                   .popUps = kListPopUpSeveral,
                   .run = record(3)});
        table.Add({.id = 4,
                   .text = {nullptr, "Cross"},
                   .menu = CommandMenu::Setting,
                   .section = 1,
                   .popUps = kPicturePopUp,
                   .run = record(4),
                   .enabled = [this] { return connected; }});
        table.Add({.id = 5,
                   .text = {nullptr, "BMP"},
                   .menu = CommandMenu::StillFormat,
                   .section = 1,
                   .run = record(5),
                   .checked = [] { return true; },
                   .oneOfGroup = true});
        table.Add({.id = 6,
                   .text = {nullptr, "Focus peaking"},
                   .menu = CommandMenu::Setting,
                   .section = 2,
                   .popUps = kPicturePopUp,
                   .run = [this] { peaking = !peaking; },
                   .checked = [this] { return peaking; }});
        table.Add({.id = 7,
                   .text = {nullptr, "Take Picture...      F2"},
                   .menu = CommandMenu::Capture,
                   .section = 1,
                   .keys = {Qt::Key_F2},
                   .run = record(7)});
        table.Add({.keys = {Qt::Key_F3}, .run = record(33)});
    }
};

QStringList Texts(const QMenu& menu)
{
    QStringList texts;
    for (const QAction* action : menu.actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

QMenu* MenuTitled(const QMenuBar& bar, const QString& title)
{
    for (QAction* action : bar.actions())
        if (action->text().remove(QLatin1Char('&')) == title) return action->menu();
    return nullptr;
}

} // namespace

TEST(CommandTable, ACommandRunsByItsNumberOrAnotherOfItsNumbersOnlyWhileEnabled)
{
    Declared d;
    EXPECT_TRUE(d.table.Run(1));
    EXPECT_TRUE(d.table.Run(102)); // the button's number runs Save As
    EXPECT_FALSE(d.table.Run(4));  // not connected: disabled, not run
    EXPECT_FALSE(d.table.Run(99));
    EXPECT_FALSE(d.table.Run(0)); // a key-only command has no number
    d.connected = true;
    EXPECT_TRUE(d.table.Run(4));
    // A key that reached the window without its shortcut acting is still its command.
    EXPECT_TRUE(d.table.RunKey(QKeySequence(Qt::Key_F3)));
    EXPECT_FALSE(d.table.RunKey(QKeySequence(Qt::Key_F5)));
    EXPECT_EQ(d.ran, (std::vector<int>{1, 2, 4, 33}));
}

TEST(CommandTable, TheMenuBarHasTheMenusInOrderWithSectionsSubmenusKeysAndTicks)
{
    Declared d;
    QMenuBar bar;
    d.table.BuildMenuBar(bar);
    QStringList titles;
    for (QAction* action : bar.actions()) titles << action->text();
    EXPECT_EQ(titles, (QStringList{"&File", "&Setting", "&Capture"}));

    EXPECT_EQ(Texts(*MenuTitled(bar, "File")), (QStringList{"Open...", "-", "Save As", "Stack"}));
    QMenu* setting = MenuTitled(bar, "Setting");
    EXPECT_EQ(Texts(*setting), (QStringList{"Cross", "Still picture format", "-", "Focus peaking"}));
    // The submenu sits where its first command comes, its item checked as one of a group.
    QMenu* formats = setting->actions().at(1)->menu();
    ASSERT_NE(formats, nullptr);
    QAction* bmp = formats->actions().at(0);
    EXPECT_TRUE(bmp->isCheckable() && bmp->isChecked());
    ASSERT_NE(bmp->actionGroup(), nullptr);
    EXPECT_TRUE(bmp->actionGroup()->isExclusive());

    // The language text's keys become the item's shortcut, shown at the right, the words its name.
    QAction* take = MenuTitled(bar, "Capture")->actions().at(0);
    EXPECT_EQ(take->text(), "Take Picture...");
    EXPECT_EQ(take->shortcut(), QKeySequence(Qt::Key_F2));

    // A switch shows its state, and a disabled command its state, each time the menu opens.
    QAction* peaking = setting->actions().at(3);
    QAction* cross = setting->actions().at(0);
    EXPECT_TRUE(peaking->isCheckable());
    EXPECT_FALSE(peaking->isChecked());
    EXPECT_FALSE(cross->isEnabled());
    peaking->trigger();
    d.connected = true;
    emit setting->aboutToShow();
    EXPECT_TRUE(peaking->isChecked());
    EXPECT_TRUE(cross->isEnabled());
}

TEST(CommandTable, PopUpsShowTheirCommandsWithTheirOwnTextsAndTicks)
{
    Declared d;
    QMenu one, several, picture;
    d.table.BuildPopUp(one, kListPopUp);
    d.table.BuildPopUp(several, kListPopUp | kListPopUpSeveral);
    EXPECT_EQ(Texts(one), (QStringList{"Open", "-", "Save As"}));
    EXPECT_EQ(Texts(several), (QStringList{"Open", "-", "Save As", "Stack"}));
    d.peaking = true;
    d.table.BuildPopUp(picture, kPicturePopUp);
    ASSERT_EQ(Texts(picture), (QStringList{"Cross", "-", "Focus peaking"}));
    EXPECT_TRUE(picture.actions().at(2)->isChecked()); // the tick the pop-up lacked
    picture.actions().at(2)->trigger();
    EXPECT_FALSE(d.peaking);
    several.actions().at(3)->trigger();
    EXPECT_EQ(d.ran, (std::vector<int>{3}));
}

TEST(CommandTable, TheKeysActAnywhereInTheActiveWindow)
{
    Declared d;
    auto* child = new QWidget(&d.window);
    child->setFocusPolicy(Qt::StrongFocus);
    d.window.show();
    d.window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d.window));
    // A headless Wayland compositor has no keyboard seat and makes no window active.
    if (!d.window.isActiveWindow()) GTEST_SKIP() << "the window system makes no window active here";
    child->setFocus();
    QTest::keyClick(child, Qt::Key_F2);
    QTest::keyClick(child, Qt::Key_F3);
    QTest::keyClick(child, Qt::Key_F5); // no command's key
    EXPECT_EQ(d.ran, (std::vector<int>{7, 33}));
}
