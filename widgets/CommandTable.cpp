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
void ShowState(QAction& action, const CommandSpec& spec)
{
    action.setEnabled(!spec.enabled || spec.enabled());
    if (spec.checked) action.setChecked(spec.checked());
}

} // namespace

QString CommandText::Read() const
{
    return key ? LangText(key, size, english) : QString::fromUtf8(english);
}

void CommandTable::Add(CommandSpec spec)
{
    if (!spec.keys.isEmpty()) {
        auto* keys = new QAction(&window_);
        keys->setShortcuts(spec.keys);
        keys->setShortcutContext(Qt::WindowShortcut);
        QObject::connect(keys, &QAction::triggered, &window_, [run = spec.run, enabled = spec.enabled] {
            if (!enabled || enabled()) run();
        });
        window_.addAction(keys);
    }
    commands_.push_back(std::move(spec));
}

const CommandSpec* CommandTable::Find(int id) const
{
    if (id == 0) return nullptr;
    const auto found = std::find_if(commands_.begin(), commands_.end(), [id](const CommandSpec& spec) {
        return spec.id == id || std::find(spec.sameAs.begin(), spec.sameAs.end(), id) != spec.sameAs.end();
    });
    return found == commands_.end() ? nullptr : &*found;
}

bool CommandTable::Run(int id) const
{
    const CommandSpec* spec = Find(id);
    if (!spec || (spec->enabled && !spec->enabled())) return false;
    spec->run();
    return true;
}

bool CommandTable::RunKey(const QKeySequence& key) const
{
    const auto found = std::find_if(commands_.begin(), commands_.end(),
                                    [&key](const CommandSpec& spec) { return spec.keys.contains(key); });
    if (found == commands_.end() || (found->enabled && !found->enabled())) return false;
    found->run();
    return true;
}

QAction* CommandTable::AddAction(QMenu& menu, const CommandSpec& spec, const CommandText& text) const
{
    QAction* action = menu.addAction(QString());
    SetTextAndKeys(*action, text.Read());
    action->setData(spec.id);
    action->setCheckable(static_cast<bool>(spec.checked));
    QObject::connect(action, &QAction::triggered, &menu, [this, id = spec.id] { Run(id); });
    ShowState(*action, spec);
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
                if (const CommandSpec* spec = Find(action->data().toInt())) ShowState(*action, *spec);
        });
        menus[which] = menu;
        return menu;
    };
    for (const CommandSpec& spec : commands_) {
        if (spec.menu == CommandMenu::None) continue;
        QMenu* menu = menuFor(spec.menu);
        if (const auto last = lastSection.find(spec.menu); last != lastSection.end() && last->second != spec.section)
            menu->addSeparator();
        lastSection[spec.menu] = spec.section;
        QAction* action = AddAction(*menu, spec, spec.text);
        if (spec.oneOfGroup) {
            QActionGroup*& group = groups[spec.menu];
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
    for (const CommandSpec& spec : commands_) {
        if (!(spec.popUps & popUps)) continue;
        QMenu* into = &menu;
        const auto title = std::find_if(std::begin(kMenus), std::end(kMenus),
                                        [&spec](const MenuTitle& t) { return t.menu == spec.menu; });
        if (title != std::end(kMenus) && title->parent != CommandMenu::None) {
            QMenu*& submenu = submenus[spec.menu];
            if (!submenu) {
                if (lastSection.count(&menu)) menu.addSeparator();
                lastSection[&menu] = -1;
                submenu = menu.addMenu(title->title.Read());
            }
            into = submenu;
        }
        if (const auto last = lastSection.find(into);
            last != lastSection.end() && last->second != spec.section && last->second != -1)
            into->addSeparator();
        lastSection[into] = spec.section;
        QAction* action = AddAction(*into, spec, spec.popUpText.english ? spec.popUpText : spec.text);
        if ((popUps & kPicturePopUp) && spec.icon) action->setIcon(resources::LoadIcon(spec.icon));
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
