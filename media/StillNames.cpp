#include "media/StillNames.h"

#include <QRegularExpression>

int MagnificationInName(const QString& path)
{
    static const QRegularExpression kMagnification(QStringLiteral("_(\\d{1,4})X_"));
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    QRegularExpressionMatchIterator matches = kMagnification.globalMatch(name);
    int magnification = 0;
    while (matches.hasNext()) magnification = matches.next().captured(1).toInt(); // the last one, before N
    return magnification;
}
