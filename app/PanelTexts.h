#pragma once
// The words on the main window's panel: the product line over the live picture, the hint
// under it and the labels of the list's two tabs. They are drawn at run time, in the
// user's language, onto the skin (the artwork carries no words).

class QPainter;

// Product line and hint, in the skin's coordinates.
void DrawPanelTitleAndHint(QPainter& painter);
// The two tab labels; the active tab's in bold white.
void DrawTabLabels(QPainter& painter, bool picturesActive);
