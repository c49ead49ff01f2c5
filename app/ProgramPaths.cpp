#include "ProgramPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

QString ProgramDirectory()
{
    return QCoreApplication::applicationDirPath();
}

MediaFolders MediaFolders::Create(const QString& documents)
{
    QString root = documents;
    if (root.isEmpty()) root = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (root.isEmpty()) root = QDir::homePath();
    while (root.size() > 1 && root.endsWith(QLatin1Char('/'))) root.chop(1);

    MediaFolders folders;
    folders.base = root + QStringLiteral("/QRV-DM500 files");
    folders.video = folders.base + QStringLiteral("/Video");
    folders.picture = folders.base + QStringLiteral("/Picture");
    for (const QString& folder : {folders.base, folders.video, folders.picture}) QDir().mkpath(folder);
    return folders;
}
