#pragma once
// The shapes drawn and measured over a picture, and the two program-wide lists that hold
// them with Undo and Redo.

#include <QFont>
#include <QPoint>
#include <QPointF>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

using ColorRef = std::uint32_t; // 0x00BBGGRR

enum ShapeKind : int {
    ShapeText = 1,
    ShapeLine = 2,
    ShapeContinuousLine = 3,
    ShapePolygon = 4,
    ShapeAngle = 5,
    ShapeRadiusCircle = 6,
    ShapeDiameterCircle = 7,
    ShapeRectangle = 8,
    ShapeThreePointCircle = 9,
    ShapeFourPointAngle = 10,
    ShapeCaliper = 11,   // the line drawn across edges; the edges found are kept with it
    ShapeCountMark = 12, // one numbered mark of the count
};

enum MeasureTool : int {
    ToolLine = 0,
    ToolRadiusCircle = 1,
    ToolRectangle = 2,
    ToolText = 3,
    ToolInitial = 4, // the tool at creation: selects nothing
    ToolAngle = 5,
    ToolDiameterCircle = 6,
    ToolContinuousLine = 7,
    ToolThreePointCircle = 8,
    ToolPolygon = 9,
    ToolFourPointAngle = 10,
    ToolCaliper = 11,
    ToolCount = 12,
    ToolNone = 20,
};

enum PenStyleCode : int { PenSolid = 0, PenDash = 1, PenDot = 2, PenDashDot = 3, PenDashDotDot = 4 };

struct MeasureShape {
    int penWidth = 1;
    int penStyle = PenSolid;
    ColorRef penColor = 255;
    std::vector<QPoint> points;
    ShapeKind kind = ShapeLine;
    std::vector<QString> labels;
    ColorRef textColor = 255;
    QFont textFont;
    QFont labelFont;
    ColorRef labelColor = 255;
    // A caliper's two edges (view pixels, to a fraction of one, as the points) and their
    // distance across the edges in picture pixels.
    std::vector<QPointF> found;
    double foundPixels = 0;
};

// The completed shapes (drawing order) and the undone ones, with the mark that lets Redo
// tell shapes completed after an Undo from the undone ones.
class ShapeStore {
public:
    std::vector<std::unique_ptr<MeasureShape>> shapeList;
    std::vector<std::unique_ptr<MeasureShape>> redoStack; // top at the back
    int undoMark = 0;
    bool undoMarkTaken = false;

    void Add(std::unique_ptr<MeasureShape> shape) { shapeList.push_back(std::move(shape)); }
    void Undo();
    void Redo();
    // Empties both lists (a canvas going away) and starts the next undo sequence afresh.
    void Clear();
};

QColor ToQColor(ColorRef colour);
ColorRef ToColorRef(const QColor& colour);
