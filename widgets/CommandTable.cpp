#include "widgets/CommandTable.h"

#include "framework/LangText.h"
#include "resources/Resources.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>

#include <algorithm>
#include <map>

namespace {

struct MenuTitle {
    CommandMenu menu;
    CommandMenu parent; // None: on the menu bar
    CommandText title;
};

const MenuTitle kMenus[] = {
    {CommandMenu::File, CommandMenu::None, {"File", "File"}},
    {CommandMenu::Setting, CommandMenu::None, {"Setting", "Setting"}},
    {CommandMenu::StillFormat, CommandMenu::Setting, {"StillFormatMenu", "Still picture format"}},
    {CommandMenu::Capture, CommandMenu::None, {"Capture", "Capture"}},
    {CommandMenu::Measure, CommandMenu::Capture, {"MeasureMenu", "Measure"}},
    {CommandMenu::Help, CommandMenu::None, {"Help", "Help"}},
};

// A language file's menu text carries its keys at its end, spaced off ("Take Picture...
// F2", "Take Video/Stop...   F3/F4"). The item gets the words as its name and the keys as
// its shortcuts, which the menu shows at the right and a screen reader reads as the keys; they
// act only while the menu itself has the keyboard (the window's own key actions act otherwise).
void SetTextAndKeys(QAction& action, const QString& text)
{
    static const QRegularExpression kTrailingKeys(QStringLiteral("^(.*\\S)\\s{2,}((?:F\\d{1,2})(?:/F\\d{1,2})*)$"));
    const QRegularExpressionMatch match = kTrailingKeys.match(text);
    if (!match.hasMatch()) {
        action.setText(text);
        return;
    }
    action.setText(match.captured(1));
    QList<QKeySequence> keys;
    for (const QString& key : match.captured(2).split(QLatin1Char('/'))) keys << QKeySequence(key);
    action.setShortcuts(keys);
    action.setShortcutContext(Qt::WidgetShortcut);
}

// The state a command's item shows: read when its menu opens.
void ShowState(QAction& action, const CommandEntry& entry)
{
    action.setEnabled(!entry.enabled || entry.enabled());
    if (entry.checked) action.setChecked(entry.checked());
}

} // namespace

QString CommandText::Read() const
{
    return key ? LangText(key, size, english) : QString::fromUtf8(english);
}

void CommandTable::Add(CommandEntry entry)
{
    if (!entry.keys.isEmpty()) {
        auto* keys = new QAction(&window_);
        keys->setShortcuts(entry.keys);
        keys->setShortcutContext(Qt::WindowShortcut);
        QObject::connect(keys, &QAction::triggered, &window_, [run = entry.run, enabled = entry.enabled] {
            if (!enabled || enabled()) run();
        });
        window_.addAction(keys);
    }
    commands_.push_back(std::move(entry));
}

const CommandEntry* CommandTable::Find(int id) const
{
    if (id == 0) return nullptr;
    const auto found = std::find_if(commands_.begin(), commands_.end(), [id](const CommandEntry& entry) {
        return entry.id == id || std::find(entry.sameAs.begin(), entry.sameAs.end(), id) != entry.sameAs.end();
    });
    return found == commands_.end() ? nullptr : &*found;
}

bool CommandTable::Run(int id) const
{
    const CommandEntry* entry = Find(id);
    if (!entry || (entry->enabled && !entry->enabled())) return false;
    entry->run();
    return true;
}

bool CommandTable::RunKey(const QKeySequence& key) const
{
    const auto found = std::find_if(commands_.begin(), commands_.end(),
                                    [&key](const CommandEntry& entry) { return entry.keys.contains(key); });
    if (found == commands_.end() || (found->enabled && !found->enabled())) return false;
    found->run();
    return true;
}

QAction* CommandTable::AddAction(QMenu& menu, const CommandEntry& entry, const CommandText& text) const
{
    QAction* action = menu.addAction(QString());
    SetTextAndKeys(*action, text.Read());
    action->setData(entry.id);
    action->setCheckable(static_cast<bool>(entry.checked));
    QObject::connect(action, &QAction::triggered, &menu, [this, id = entry.id] { Run(id); });
    ShowState(*action, entry);
    return action;
}

void CommandTable::BuildMenuBar(QMenuBar& bar) const
{
    std::map<CommandMenu, QMenu*> menus;
    std::map<CommandMenu, int> lastSection;
    std::map<CommandMenu, QActionGroup*> groups;
    // A menu is made where its first command comes (a submenu among its parent's items).
    auto menuFor = [&](CommandMenu which) {
        const auto found = menus.find(which);
        if (found != menus.end()) return found->second;
        const MenuTitle& title = *std::find_if(std::begin(kMenus), std::end(kMenus),
                                               [which](const MenuTitle& t) { return t.menu == which; });
        QMenu* menu = title.parent == CommandMenu::None ? bar.addMenu(WithMnemonic(title.title.Read()))
                                                        : menus.at(title.parent)->addMenu(title.title.Read());
        QObject::connect(menu, &QMenu::aboutToShow, menu, [this, menu] {
            for (QAction* action : menu->actions())
                if (const CommandEntry* entry = Find(action->data().toInt())) ShowState(*action, *entry);
        });
        menus[which] = menu;
        return menu;
    };
    for (const CommandEntry& entry : commands_) {
        if (entry.menu == CommandMenu::None) continue;
        QMenu* menu = menuFor(entry.menu);
        if (const auto last = lastSection.find(entry.menu); last != lastSection.end() && last->second != entry.section)
            menu->addSeparator();
        lastSection[entry.menu] = entry.section;
        QAction* action = AddAction(*menu, entry, entry.text);
        if (entry.oneOfGroup) {
            QActionGroup*& group = groups[entry.menu];
            if (!group) group = new QActionGroup(menu);
            group->addAction(action);
        }
    }
}

void CommandTable::BuildPopUp(QMenu& menu, unsigned popUps) const
{
    // Commands of a submenu of the menu bar (Measure) keep it in the pop-up too.
    std::map<CommandMenu, QMenu*> submenus;
    std::map<QMenu*, int> lastSection;
    for (const CommandEntry& entry : commands_) {
        if (!(entry.popUps & popUps)) continue;
        QMenu* into = &menu;
        const auto title = std::find_if(std::begin(kMenus), std::end(kMenus),
                                        [&entry](const MenuTitle& t) { return t.menu == entry.menu; });
        if (title != std::end(kMenus) && title->parent != CommandMenu::None) {
            QMenu*& submenu = submenus[entry.menu];
            if (!submenu) {
                if (lastSection.count(&menu)) menu.addSeparator();
                lastSection[&menu] = -1;
                submenu = menu.addMenu(title->title.Read());
            }
            into = submenu;
        }
        if (const auto last = lastSection.find(into);
            last != lastSection.end() && last->second != entry.section && last->second != -1)
            into->addSeparator();
        lastSection[into] = entry.section;
        QAction* action = AddAction(*into, entry, entry.popUpText.english ? entry.popUpText : entry.text);
        if ((popUps & kPicturePopUp) && entry.icon) action->setIcon(resources::LoadIcon(entry.icon));
    }
}

QString WithMnemonic(const QString& title)
{
    // The language file's own "&" wins; otherwise the first letter, where it is one a
    // keyboard types (Alt+F for "File", Alt+D for "Datei").
    if (title.contains(QLatin1Char('&'))) return title;
    for (qsizetype i = 0; i < title.size(); ++i) {
        const QChar c = title[i];
        if (c.isSpace()) continue;
        if (c.unicode() < 128 && c.isLetterOrNumber()) return title.left(i) + QLatin1Char('&') + title.mid(i);
        break;
    }
    return title;
}
