#pragma once
// Dialog layouts are given in dialog units: a quarter of the dialog font's average character
// width horizontally, an eighth of its height vertically.

#include <QFont>
#include <QRect>
#include <QSize>

struct DialogBaseUnits {
    int x;
    int y;
};

// The small Arial face the settings dialogs are laid out in (a metric twin where Arial is
// not installed).
QFont SettingsDialogFont();

DialogBaseUnits BaseUnitsOf(const QFont& dialogFont);
QRect DialogUnitsToPixels(const QRect& dialogUnits, const DialogBaseUnits& base);
QRect DialogUnitsToPixels(const QRect& dialogUnits, const QFont& dialogFont);

class QWidget;

// Lays a settings dialog out from its template: gives it the settings font and its fixed
// size in dialog units, and converts the template's rectangles.
class DialogTemplate {
public:
    DialogTemplate(QWidget& dialog, int widthUnits, int heightUnits);
    QRect At(int x, int y, int width, int height) const;
    const QFont& Font() const { return font_; }

private:
    QFont font_;
    DialogBaseUnits base_;
};
