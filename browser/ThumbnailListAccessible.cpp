#include "browser/ThumbnailListAccessible.h"

#include "browser/ThumbnailList.h"

#include <QAccessibleWidget>
#include <QFileInfo>

#include <map>

namespace {

class ThumbnailItemAccessible;

class ThumbnailListAccessible : public QAccessibleWidget {
public:
    explicit ThumbnailListAccessible(CThumbnailList* list) : QAccessibleWidget(list, QAccessible::List) {}
    ~ThumbnailListAccessible() override
    {
        for (const auto& [index, id] : items_) QAccessible::deleteAccessibleInterface(id);
    }

    CThumbnailList* List() const { return static_cast<CThumbnailList*>(widget()); }
    const std::vector<MediaEntry>& Entries() const
    {
        return List()->ShowingPictures() ? List()->Pictures() : List()->Videos();
    }

    int childCount() const override { return static_cast<int>(Entries().size()); }
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override
    {
        for (int i = 0; i < childCount(); ++i)
            if (QAccessibleInterface* item = child(i); item && item->rect().contains(x, y)) return item;
        return nullptr;
    }

private:
    // The items handed out, by index; they live as long as the list's interface.
    mutable std::map<int, QAccessible::Id> items_;
};

class ThumbnailItemAccessible : public QAccessibleInterface {
public:
    ThumbnailItemAccessible(const ThumbnailListAccessible* list, int index) : list_(list), index_(index) {}

    bool isValid() const override { return list_->isValid() && index_ < list_->childCount(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return list_->window(); }
    QAccessibleInterface* parent() const override { return const_cast<ThumbnailListAccessible*>(list_); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    void setText(QAccessible::Text, const QString&) override {}

    QString text(QAccessible::Text kind) const override
    {
        if (!isValid()) return {};
        const QString path = list_->Entries()[static_cast<std::size_t>(index_)].path;
        if (kind == QAccessible::Name) return QFileInfo(path).fileName();
        if (kind == QAccessible::Description) return path;
        return {};
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        const CThumbnailList* list = list_->List();
        state.selectable = true;
        state.focusable = true;
        state.selected = (list_->Entries()[static_cast<std::size_t>(index_)].flags & Selected) != 0;
        state.focused = list->hasFocus() && list->SelectedIndex() == index_;
        state.invisible = state.offscreen = CellOf(index_) < 0;
        return state;
    }

    QRect rect() const override
    {
        const int cell = CellOf(index_);
        if (cell < 0) return {};
        const CThumbnailList* list = list_->List();
        const QRect local = list->Cells()[static_cast<std::size_t>(cell)];
        return QRect(list->mapToGlobal(local.topLeft()), local.size());
    }

private:
    // The cell that shows the entry, -1 when it is scrolled out of view (two entries a row).
    int CellOf(int index) const
    {
        const int cell = index - 2 * list_->List()->TopRow();
        return cell >= 0 && cell < CThumbnailList::kCells ? cell : -1;
    }

    const ThumbnailListAccessible* list_;
    int index_;
};

QAccessibleInterface* ThumbnailListAccessible::child(int index) const
{
    if (index < 0 || index >= childCount()) return nullptr;
    const auto known = items_.find(index);
    if (known != items_.end()) return QAccessible::accessibleInterface(known->second);
    auto* item = new ThumbnailItemAccessible(this, index);
    items_[index] = QAccessible::registerAccessibleInterface(item);
    return item;
}

int ThumbnailListAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    for (const auto& [index, id] : items_)
        if (QAccessible::accessibleInterface(id) == child) return index;
    return -1;
}

} // namespace

QAccessibleInterface* ThumbnailListAccessibleFactory(const QString&, QObject* object)
{
    if (auto* list = qobject_cast<CThumbnailList*>(object)) return new ThumbnailListAccessible(list);
    return nullptr;
}
