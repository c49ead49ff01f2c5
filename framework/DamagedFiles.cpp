#include "framework/DamagedFiles.h"

#include "framework/Logging.h"

#include <QFile>
#include <QFileInfo>

QString KeepDamagedAside(const QString& path)
{
    QString aside = path + QStringLiteral(".damaged");
    for (int n = 2; QFileInfo::exists(aside) && n < 100; ++n) aside = path + QStringLiteral(".damaged.%1").arg(n);
    if (QFileInfo::exists(aside) || !QFile::rename(path, aside)) {
        qCWarning(lcSettings) << "could not keep the damaged file aside" << path;
        return {};
    }
    qCWarning(lcSettings) << "kept the damaged file aside as" << aside;
    return aside;
}
