#include "app/ProgramPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString ProgramDirectory()
{
    return QCoreApplication::applicationDirPath();
}

QString DataDirectoryFor(const QString& programDirectory)
{
    if (QFileInfo::exists(programDirectory + QStringLiteral("/English1252.ini"))) return programDirectory;
    const QString installed = QDir::cleanPath(programDirectory + QStringLiteral("/../share/qrv-dm500"));
    return QFileInfo::exists(installed) ? installed : programDirectory;
}

QString DataDirectory()
{
    return DataDirectoryFor(ProgramDirectory());
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
