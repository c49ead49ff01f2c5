#include "app/sharing/SharedPictures.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <set>

namespace {

const QStringList kSharedPatterns = {QStringLiteral("*.bmp"), QStringLiteral("*.jpg"), QStringLiteral("*.jpeg"),
                                     QStringLiteral("*.png"), QStringLiteral("*.tif"), QStringLiteral("*.tiff"),
                                     QStringLiteral("*.avi")};

} // namespace

std::vector<SharedPicture> SharedPictures::List() const
{
    std::vector<SharedPicture> list;
    std::set<QString> names;
    for (const QString& folder : folders_) {
        if (folder.isEmpty()) continue;
        const QDir dir(folder);
        const QFileInfoList entries =
            dir.entryInfoList(kSharedPatterns, QDir::Files | QDir::NoDotAndDotDot | QDir::CaseSensitive);
        for (const QFileInfo& entry : entries) {
            // Links are not followed: a link in a media folder could point anywhere.
            if (entry.isSymLink() || !entry.isFile() || entry.fileName().startsWith(QLatin1Char('.'))) continue;
            if (!names.insert(entry.fileName()).second) continue; // the first folder's wins
            list.push_back({entry.fileName(), entry.absoluteFilePath(), entry.size(), entry.lastModified()});
        }
    }
    std::sort(list.begin(), list.end(), [](const SharedPicture& a, const SharedPicture& b) {
        return a.modified != b.modified ? a.modified > b.modified : a.name < b.name;
    });
    return list;
}

std::optional<SharedPicture> SharedPictures::Find(const QString& name) const
{
    for (SharedPicture& picture : List())
        if (picture.name == name) return std::move(picture);
    return std::nullopt;
}

QByteArray SharedPictures::ListJson() const
{
    QJsonArray array;
    for (const SharedPicture& picture : List())
        array.append(QJsonObject{{QStringLiteral("name"), picture.name},
                                 {QStringLiteral("bytes"), picture.bytes},
                                 {QStringLiteral("modified"), picture.modified.toString(Qt::ISODate)}});
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

QByteArray SharedPictures::ContentType(const QString& name)
{
    const QString suffix = QFileInfo(name).suffix().toLower();
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg")) return "image/jpeg";
    if (suffix == QLatin1String("png")) return "image/png";
    if (suffix == QLatin1String("bmp")) return "image/bmp";
    if (suffix == QLatin1String("tif") || suffix == QLatin1String("tiff")) return "image/tiff";
    if (suffix == QLatin1String("avi")) return "video/x-msvideo";
    return "application/octet-stream";
}
