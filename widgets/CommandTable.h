#pragma once
// A window's commands, each declared once: its number, its text from the language file, its
// keys, where it shows (a menu of the menu bar, the pop-up menus), when it is enabled or
// checked, and what it does. The menu bar, the pop-ups and the keys are QActions built from
// the declarations; buttons and tests run a command by its number. User-interface thread.

#include <QKeySequence>
#include <QList>
#include <QString>

#include <functional>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

// A text from the language file: its key, the English text where the file has none, and the
// buffer size the text is cut to. Without a key the English text is the text (a format's name).
struct CommandText {
    const char* key = nullptr;
    const char* english = nullptr;
    int size = 30;

    QString Read() const;
};

// The menus of the menu bar, in their order, and the one submenu.
enum class CommandMenu { None, File, Setting, StillFormat, Capture, Measure, Help };

// The pop-up menus a command shows in (a set of these).
enum CommandPopUp : unsigned {
    kPicturePopUp = 1,     // over the live picture
    kListPopUp = 2,        // over the thumbnail list
    kListPopUpSeveral = 4, // over the list, with several pictures selected
};

struct CommandEntry {
    int id = 0;       // what buttons, tests and the language files know; 0 for a key only
    CommandText text; // in the menu bar, and in the pop-ups unless `popUpText` says otherwise
    CommandMenu menu = CommandMenu::None;
    int section = 0; // a separator goes between two sections of a menu
    unsigned popUps = 0;
    QList<QKeySequence> keys; // anywhere in the window
    std::vector<int> sameAs;  // other numbers that run it (a button's, the system menu's)
    int icon = 0;             // artwork shown in the picture's pop-up
    CommandText popUpText;
    std::function<void()> run;
    std::function<bool()> enabled; // none: always
    std::function<bool()> checked; // none: not a switch
    bool oneOfGroup = false;       // checked as one of the menu's section (a round mark)
};

class CommandTable {
public:
    // The keys act while `window` is the active window.
    explicit CommandTable(QWidget& window) : window_(window) {}
    CommandTable(const CommandTable&) = delete;
    CommandTable& operator=(const CommandTable&) = delete;

    void Add(CommandEntry entry);
    // Runs the command that has this number, when it is enabled; false when none does.
    bool Run(int id) const;
    // Runs the command whose key this is, when it is enabled; false when none has it. For a
    // key that reached the window without its shortcut acting (a window the window system
    // has not made active yet, a compositor without a keyboard seat).
    bool RunKey(const QKeySequence& key) const;
    const CommandEntry* Find(int id) const;

    // The menus with the commands that show in them, in the order they were added. Their
    // ticks and enabled states are read each time a menu opens.
    void BuildMenuBar(QMenuBar& bar) const;
    // A pop-up with the commands that show in any of `popUps`, states as they are now.
    void BuildPopUp(QMenu& menu, unsigned popUps) const;

private:
    QAction* AddAction(QMenu& menu, const CommandEntry& entry, const CommandText& text) const;

    QWidget& window_;
    std::vector<CommandEntry> commands_;
};

// A menu title with a keyboard mnemonic: the language file's "&" where it has one, else one
// before the first letter a keyboard types.
QString WithMnemonic(const QString& title);
