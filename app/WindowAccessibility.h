#pragma once
// What a screen reader finds in the main window beyond its ordinary controls: the window is
// the program's frame (not a dialog, though it runs as one), and the Pictures and Videos tabs,
// painted on the skin, are page tabs with their names, the shown one selected, pressed to
// switch. Installed once, before the window is built.

#include <QString>
#include <QWidget>

#include <functional>

// An invisible stand-in over a tab painted on the skin: it takes no clicks (the skin does)
// and is there for the accessibility tree.
class PageTabArea : public QWidget {
    Q_OBJECT
public:
    PageTabArea(QString name, std::function<bool()> shown, std::function<void()> show, QWidget* parent);
    QString Name() const { return name_; }
    void SetName(const QString& name) { name_ = name; }
    bool Shown() const { return shown_(); }
    void Show() { show_(); }

private:
    QString name_;
    std::function<bool()> shown_;
    std::function<void()> show_;
};

void InstallWindowAccessibility();
