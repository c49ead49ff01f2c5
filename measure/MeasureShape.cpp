#include "measure/MeasureShape.h"

#include <QColor>

void ShapeStore::Undo()
{
    if (shapeList.empty()) return;
    // A new undo sequence takes the mark afresh; a stale mark would make Redo throw away
    // shapes that were never undone.
    if (!undoMarkTaken || redoStack.empty()) {
        undoMark = static_cast<int>(shapeList.size());
        undoMarkTaken = true;
    }
    const bool completedAfterMark = static_cast<int>(shapeList.size()) > undoMark;
    redoStack.push_back(std::move(shapeList.back()));
    shapeList.pop_back();
    // Undoing a shape completed after the mark leaves the shapes before the mark as they are.
    if (!completedAfterMark && undoMark > 0) --undoMark;
}

void ShapeStore::Redo()
{
    if (redoStack.empty()) return;
    if (static_cast<int>(shapeList.size()) > undoMark) {
        // Shapes completed since the Undo go first, newest first, one per press.
        shapeList.pop_back();
        return;
    }
    shapeList.push_back(std::move(redoStack.back()));
    redoStack.pop_back();
    ++undoMark;
}

void ShapeStore::Clear()
{
    shapeList.clear();
    redoStack.clear();
    undoMarkTaken = false;
    undoMark = 0;
}

QColor ToQColor(ColorRef colour)
{
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

ColorRef ToColorRef(const QColor& colour)
{
    return static_cast<ColorRef>(colour.red()) | (static_cast<ColorRef>(colour.green()) << 8) |
           (static_cast<ColorRef>(colour.blue()) << 16);
}
