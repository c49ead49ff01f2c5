#include "app/WindowAccessibility.h"

#include "app/MainDialog.h"

#include <QAccessibleWidget>

namespace {

class PageTabAccessible : public QAccessibleWidget {
public:
    explicit PageTabAccessible(PageTabArea* tab) : QAccessibleWidget(tab, QAccessible::PageTab)
    {
        addControllingSignal(QStringLiteral("destroyed()"));
    }
    PageTabArea* Tab() const { return static_cast<PageTabArea*>(widget()); }

    QString text(QAccessible::Text kind) const override
    {
        return kind == QAccessible::Name ? Tab()->Name() : QAccessibleWidget::text(kind);
    }
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.invisible = false; // it shows what the skin paints beneath it
        state.selectable = true;
        state.selected = Tab()->Shown();
        return state;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& action) override
    {
        if (action == pressAction()) Tab()->Show();
    }
};

QAccessibleInterface* WindowAccessibilityFactory(const QString&, QObject* object)
{
    if (auto* tab = qobject_cast<PageTabArea*>(object)) return new PageTabAccessible(tab);
    // The program's window, though built as a dialog that runs modally.
    if (auto* window = qobject_cast<CMainDialog*>(object)) return new QAccessibleWidget(window, QAccessible::Window);
    return nullptr;
}

} // namespace

PageTabArea::PageTabArea(QString name, std::function<bool()> shown, std::function<void()> show, QWidget* parent)
    : QWidget(parent), name_(std::move(name)), shown_(std::move(shown)), show_(std::move(show))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
}

void InstallWindowAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(WindowAccessibilityFactory);
        return true;
    }();
    (void)installed;
}
