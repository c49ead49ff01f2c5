#pragma once
// Pop-up menus whose items carry a 16-pixel icon and a right-aligned key combination, drawn
// in the system menu's font and colours: an icon column (sunken square for a checked item,
// raised when highlighted), the bold default item, disabled items embossed, separators as an
// etched line.

#include <QKeySequence>
#include <QMenu>

class CMenuXP : public QMenu {
    Q_OBJECT
public:
    static constexpr int kIconSize = 16;

    explicit CMenuXP(QWidget* parent = nullptr);
    ~CMenuXP() override;

    // Appends an item; with a key combination its text follows a tab, right-aligned.
    QAction* AppendItem(int commandId, const QString& text, const QIcon& icon = {},
                        Qt::KeyboardModifiers modifiers = Qt::NoModifier, int key = 0);
    QAction* AppendSeparator();

    // "Ctrl+", "Shift+", "Alt+", then the key's name; Escape adds nothing.
    static QString KeyCombinationText(Qt::KeyboardModifiers modifiers, int key);

    // The size of an item as the menu lays it out.
    static QSize MeasureItem(const QFont& menuFont, const QString& text, bool separator);
    // The command chosen by the last exec(), 0 when dismissed.
    int ChosenCommand() const { return chosen_; }
    int ExecAt(const QPoint& globalTopLeft);

private:
    int chosen_ = 0;
};
