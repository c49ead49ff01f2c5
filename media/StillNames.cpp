#include "media/StillNames.h"

#include <QRegularExpression>

QStringList StillPicturePatterns()
{
    return {QStringLiteral("*.bmp"), QStringLiteral("*.tif"), QStringLiteral("*.tiff"), QStringLiteral("*.png")};
}

QString StillPictureName(const QDateTime& time, int magnification, int runningNumber, const QString& extension,
                         const QString& tag)
{
    const QDate d = time.date();
    const QTime t = time.time();
    const QString number =
        (tag.isEmpty() ? QString() : tag + QLatin1Char('_')) + QString::asprintf("N%04d.", runningNumber);
    if (magnification != 0)
        return QString::asprintf("Still_%4d-%02d-%02d_%02d%02d%02d_%03dX_", d.year(), d.month(), d.day(), t.hour(),
                                 t.minute(), t.second(), magnification) +
               number + extension;
    return QString::asprintf("Still_%4d-%02d-%02d_%02d%02d%02d_", d.year(), d.month(), d.day(), t.hour(), t.minute(),
                             t.second()) +
           number + extension;
}

int MagnificationInName(const QString& path)
{
    static const QRegularExpression kMagnification(QStringLiteral("_(\\d{1,4})X_"));
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    QRegularExpressionMatchIterator matches = kMagnification.globalMatch(name);
    int magnification = 0;
    while (matches.hasNext()) magnification = matches.next().captured(1).toInt(); // the last one, before N
    return magnification;
}
