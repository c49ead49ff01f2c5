#include "framework/DialogUnits.h"

#include <QFontMetrics>
#include <QStringList>
#include <QWidget>

namespace {
int MulDiv(int value, int numerator, int denominator)
{
    // Rounded to nearest, as the dialog manager does.
    const long long product = static_cast<long long>(value) * numerator;
    return static_cast<int>((product + (product >= 0 ? denominator / 2 : -denominator / 2)) / denominator);
}
} // namespace

QFont SettingsDialogFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(11);
    return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& dialogFont)
{
    const QFontMetrics metrics(dialogFont);
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int averageWidth = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    return {averageWidth, metrics.height()};
}

QRect DialogUnitsToPixels(const QRect& dialogUnits, const DialogBaseUnits& base)
{
    return QRect(MulDiv(dialogUnits.x(), base.x, 4), MulDiv(dialogUnits.y(), base.y, 8),
                 MulDiv(dialogUnits.width(), base.x, 4), MulDiv(dialogUnits.height(), base.y, 8));
}

QRect DialogUnitsToPixels(const QRect& dialogUnits, const QFont& dialogFont)
{
    return DialogUnitsToPixels(dialogUnits, BaseUnitsOf(dialogFont));
}

DialogTemplate::DialogTemplate(QWidget& dialog, int widthUnits, int heightUnits)
    : font_(SettingsDialogFont()), base_(BaseUnitsOf(font_))
{
    dialog.setFont(font_);
    dialog.setFixedSize(At(0, 0, widthUnits, heightUnits).size());
    // A fixed-size dialog has a title and a close button, nothing to maximise or minimise.
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowSystemMenuHint);
}

QRect DialogTemplate::At(int x, int y, int width, int height) const
{
    return DialogUnitsToPixels(QRect(x, y, width, height), base_);
}
