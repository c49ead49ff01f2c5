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
