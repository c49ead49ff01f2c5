#include "resources/Resources.h"

#include <QFile>

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

QImage LoadBitmapImage(int id)
{
    Initialise();
    return QImage(QStringLiteral(":/bitmap/%1.png").arg(id));
}

QPixmap LoadBitmap(int id)
{
    Initialise();
    return QPixmap(QStringLiteral(":/bitmap/%1.png").arg(id));
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
