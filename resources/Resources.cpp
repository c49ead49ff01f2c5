#include "resources/Resources.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

static void InitialiseArtwork()
{
    Q_INIT_RESOURCE(artwork);
}

namespace resources {

void Initialise()
{
    static const bool done = [] {
        InitialiseArtwork();
        return true;
    }();
    (void)done;
}

double BitmapRatio()
{
    double ratio = 1;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        for (const QScreen* screen : QGuiApplication::screens()) ratio = std::max(ratio, screen->devicePixelRatio());
    return ratio >= 1.5 ? 2 : 1;
}

QImage LoadBitmapImage(int id, double ratio)
{
    Initialise();
    if (ratio <= 0) ratio = BitmapRatio();
    if (ratio >= 2) {
        QImage twice(QStringLiteral(":/bitmap/%1@2x.png").arg(id));
        if (!twice.isNull()) {
            twice.setDevicePixelRatio(2);
            return twice;
        }
    }
    return QImage(QStringLiteral(":/bitmap/%1.png").arg(id));
}

QPixmap LoadBitmap(int id)
{
    return QPixmap::fromImage(LoadBitmapImage(id));
}

QRect PixelsOf(const QRect& rect, const QImage& bitmap)
{
    const double ratio = bitmap.devicePixelRatio();
    if (ratio == 1) return rect;
    return QRect(QPoint(static_cast<int>(rect.x() * ratio), static_cast<int>(rect.y() * ratio)),
                 QSize(static_cast<int>(rect.width() * ratio), static_cast<int>(rect.height() * ratio)));
}

QIcon LoadIcon(int id)
{
    Initialise();
    QIcon icon;
    for (int size : {16, 32, 48}) {
        const QString path = QStringLiteral(":/icon/%1_%2.png").arg(id).arg(size);
        if (QFile::exists(path)) icon.addFile(path, QSize(size, size));
    }
    return icon;
}

QString SoundPath(int id)
{
    Initialise();
    return QStringLiteral(":/sound/%1.wav").arg(id);
}

QString LoadString(int id)
{
    switch (id) {
    case IDS_ABOUTBOX: return QStringLiteral("&About QRV-DM500...");
    default: return {};
    }
}

} // namespace resources
