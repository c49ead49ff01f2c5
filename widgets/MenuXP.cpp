#include "widgets/MenuXP.h"

#include <QApplication>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>
#include <qdrawutil.h>

namespace {

constexpr int kSeparatorHeight = 13 / 2; // half the check-mark height

class MenuXPStyle : public QProxyStyle {
public:
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override
    {
        if (type != CT_MenuItem) return QProxyStyle::sizeFromContents(type, option, size, widget);
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (!item) return QProxyStyle::sizeFromContents(type, option, size, widget);
        return CMenuXP::MeasureItem(item->font, item->text, item->menuItemType == QStyleOptionMenuItem::Separator);
    }

    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        switch (metric) {
        case PM_MenuHMargin:
        case PM_MenuVMargin:
        case PM_MenuPanelWidth: return 1;
        case PM_SmallIconSize: return CMenuXP::kIconSize;
        default: return QProxyStyle::pixelMetric(metric, option, widget);
        }
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (element != CE_MenuItem || !item) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        DrawItem(*item, painter);
    }

private:
    static void DrawItem(const QStyleOptionMenuItem& item, QPainter* p)
    {
        const QPalette& pal = item.palette;
        const QRect r = item.rect;
        const QColor menu = pal.color(QPalette::Active, QPalette::Window);
        if (item.menuItemType == QStyleOptionMenuItem::Separator) {
            p->fillRect(r, menu);
            const int y = r.top() + r.height() / 2;
            p->setPen(pal.color(QPalette::Mid));
            p->drawLine(r.left() + 1, y, r.right() - 1, y);
            p->setPen(pal.color(QPalette::Light));
            p->drawLine(r.left() + 1, y + 1, r.right() - 1, y + 1);
            return;
        }
        const bool selected = item.state & QStyle::State_Selected;
        const bool enabled = item.state & QStyle::State_Enabled;
        const bool checked = item.checked;
        p->fillRect(r, selected ? pal.color(QPalette::Active, QPalette::Highlight) : menu);

        // Icon column: a square as high as the item.
        const QRect column(r.left(), r.top(), r.height(), r.height());
        const bool hasIcon = !item.icon.isNull();
        if (hasIcon || checked) {
            p->fillRect(column, checked && !selected ? pal.color(QPalette::Light) : menu);
            if (enabled && (checked || selected)) qDrawShadePanel(p, column, pal, checked, 1);
        }
        const QRect inner = column.adjusted(2, 2, -2, -2);
        if (hasIcon) {
            const QRect iconRect(inner.center().x() - CMenuXP::kIconSize / 2 + 1,
                                 inner.center().y() - CMenuXP::kIconSize / 2 + 1, CMenuXP::kIconSize,
                                 CMenuXP::kIconSize);
            if (enabled) {
                item.icon.paint(p, iconRect);
            } else {
                // Embossed: the icon's shape in the light colour one pixel off, then in shadow.
                QImage mask = item.icon.pixmap(CMenuXP::kIconSize).toImage().convertToFormat(QImage::Format_ARGB32);
                auto tinted = [&mask](const QColor& colour) {
                    QImage out = mask;
                    QPainter tp(&out);
                    tp.setCompositionMode(QPainter::CompositionMode_SourceIn);
                    tp.fillRect(out.rect(), colour);
                    return out;
                };
                p->drawImage(iconRect.topLeft() + QPoint(1, 1), tinted(pal.color(QPalette::Light)));
                p->drawImage(iconRect.topLeft(), tinted(pal.color(QPalette::Dark)));
            }
        } else if (checked) {
            // Three one-pixel strokes in a centred 8 x 8 box.
            const int x = inner.center().x() - 3, y = inner.center().y() - 3;
            p->setPen(QPen(Qt::black, 0));
            for (int k = 0; k < 3; ++k)
                p->drawPolyline(QPolygon{QPoint(x, y + k + 3), QPoint(x + 2, y + k + 5), QPoint(x + 7, y + k)});
        }

        // Text: the part before the tab left-aligned, the key combination right-aligned.
        const QRect textRect(column.right() + 3, r.top(), r.right() - CMenuXP::kIconSize - column.right() - 2,
                             r.height());
        const qsizetype tab = item.text.indexOf(QLatin1Char('\t'));
        const QString label = tab < 0 ? item.text : item.text.left(tab);
        const QString keys = tab < 0 ? QString() : item.text.mid(tab + 1);
        p->setFont(item.font); // bold for the default item
        auto drawText = [&](const QRect& area, const QColor& colour) {
            p->setPen(colour);
            p->drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextShowMnemonic, label);
            if (!keys.isEmpty()) p->drawText(area, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, keys);
        };
        const QColor grey = pal.color(QPalette::Disabled, QPalette::WindowText);
        if (item.menuItemType == QStyleOptionMenuItem::SubMenu) {
            // A submenu's arrow at the right edge.
            const int x = r.right() - 9, y = r.center().y();
            p->save();
            p->setPen(Qt::NoPen);
            p->setBrush(!enabled   ? grey
                        : selected ? pal.color(QPalette::Active, QPalette::HighlightedText)
                                   : pal.color(QPalette::Active, QPalette::WindowText));
            p->drawPolygon(QPolygon{QPoint(x, y - 4), QPoint(x + 4, y), QPoint(x, y + 4)});
            p->restore();
        }
        if (!enabled && !selected) {
            drawText(textRect.translated(1, 1), pal.color(QPalette::Active, QPalette::HighlightedText));
            drawText(textRect, grey);
        } else if (!enabled) {
            drawText(textRect, grey);
        } else {
            drawText(textRect, selected ? pal.color(QPalette::Active, QPalette::HighlightedText)
                                        : pal.color(QPalette::Active, QPalette::WindowText));
        }
    }
};

MenuXPStyle& SharedStyle()
{
    static MenuXPStyle* style = [] {
        auto* s = new MenuXPStyle();
        s->setParent(qApp);
        return s;
    }();
    return *style;
}

} // namespace

CMenuXP::CMenuXP(QWidget* parent) : QMenu(parent)
{
    setStyle(&SharedStyle());
    setFont(QApplication::font("QMenu"));
}

CMenuXP::~CMenuXP() = default;

QAction* CMenuXP::AppendItem(int commandId, const QString& text, const QIcon& icon, Qt::KeyboardModifiers modifiers,
                             int key)
{
    // The words are the item's name; the keys its shortcut, which the menu draws at the right
    // and a screen reader reads as the keys. Active only while this menu has the keyboard.
    QAction* action = addAction(icon, text);
    if (key && key != Qt::Key_Escape) {
        action->setShortcut(QKeySequence(QKeyCombination(modifiers, static_cast<Qt::Key>(key))));
        action->setShortcutContext(Qt::WidgetShortcut);
    }
    action->setData(commandId);
    connect(action, &QAction::triggered, this, [this, commandId] { chosen_ = commandId; });
    return action;
}

QAction* CMenuXP::AppendSeparator()
{
    return addSeparator();
}

QString CMenuXP::KeyCombinationText(Qt::KeyboardModifiers modifiers, int key)
{
    QString text;
    if (modifiers & Qt::ControlModifier) text += QStringLiteral("Ctrl+");
    if (modifiers & Qt::ShiftModifier) text += QStringLiteral("Shift+");
    if (modifiers & Qt::AltModifier) text += QStringLiteral("Alt+");
    if (key == Qt::Key_Escape) return text;
    return text + QKeySequence(key).toString(QKeySequence::NativeText).left(64);
}

QSize CMenuXP::MeasureItem(const QFont& menuFont, const QString& text, bool separator)
{
    if (separator) return QSize(1, kSeparatorHeight); // the menu gives a separator its full width
    QFont bold = menuFont;
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    const QString single = QString(text).replace(QLatin1Char('\t'), QLatin1Char(' '));
    const int height = std::max(metrics.height(), kIconSize + 4);
    return QSize(2 * kIconSize + 12 + metrics.horizontalAdvance(single), height);
}

int CMenuXP::ExecAt(const QPoint& globalTopLeft)
{
    chosen_ = 0;
    exec(globalTopLeft);
    return chosen_;
}
