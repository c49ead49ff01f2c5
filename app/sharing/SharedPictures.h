#pragma once
// The pictures and videos the sharing server offers: the files directly in the media
// folders, by name, newest first. Only a name on this list is ever opened, and only as a
// regular file in its folder (a link, a folder or anything else is left out), so no request
// reaches a file outside them.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

struct SharedPicture {
    QString name;
    QString path;
    qint64 bytes = 0;
    QDateTime modified;
};

class SharedPictures {
public:
    explicit SharedPictures(QStringList folders = {}) : folders_(std::move(folders)) {}
    void SetFolders(QStringList folders) { folders_ = std::move(folders); }

    std::vector<SharedPicture> List() const;
    // The listed file of this name; none when no listed file has it.
    std::optional<SharedPicture> Find(const QString& name) const;
    // The list as the page and scripts read it: [{"name":..,"bytes":..,"modified":..}, ...].
    QByteArray ListJson() const;

    // The type a browser is told, by the file's extension.
    static QByteArray ContentType(const QString& name);

private:
    QStringList folders_;
};
