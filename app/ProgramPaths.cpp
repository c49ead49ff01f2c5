#include "app/ProgramPaths.h"

#include "framework/RegularFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <optional>

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

QString DesktopDocumentsFolder()
{
    // The desktop's own name for it (~/Dokumente, ~/Documents, ...), from the user's XDG
    // folder list: XDG_DOCUMENTS_DIR="$HOME/Dokumente".
    const QString home = QDir::homePath();
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config)) config = home + QStringLiteral("/.config");
    if (const std::optional<QByteArray> list = ReadRegularFile(config + QStringLiteral("/user-dirs.dirs"), 64 * 1024)) {
        for (const QByteArray& raw : list->split('\n')) {
            const QByteArray line = raw.trimmed();
            if (!line.startsWith("XDG_DOCUMENTS_DIR=")) continue;
            QString value = QString::fromUtf8(line.mid(18)).trimmed();
            if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
                value = value.mid(1, value.size() - 2);
            if (value.startsWith(QLatin1String("$HOME"))) value = home + value.mid(5);
            else if (!value.startsWith(QLatin1Char('/'))) value = home + QLatin1Char('/') + value;
            value = QDir::cleanPath(value);
            // Set to the home folder itself, the documents folder is switched off.
            if (value != QDir::cleanPath(home)) return value;
        }
    }
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

MediaFolders MediaFolders::Create(const QString& documents)
{
    QString root = documents;
    if (root.isEmpty()) root = DesktopDocumentsFolder();
    if (root.isEmpty()) root = QDir::homePath();
    while (root.size() > 1 && root.endsWith(QLatin1Char('/'))) root.chop(1);

    MediaFolders folders;
    folders.base = root + QStringLiteral("/QRV-DM500 files");
    folders.video = folders.base + QStringLiteral("/Video");
    folders.picture = folders.base + QStringLiteral("/Picture");
    for (const QString& folder : {folders.base, folders.video, folders.picture}) QDir().mkpath(folder);
    return folders;
}
