#include "app/stills/StillFormatSetting.h"

#include "framework/RegularFile.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <optional>

StillFormatSetting::StillFormatSetting(QString path) : path_(std::move(path))
{
    const std::optional<QByteArray> bytes = ReadRegularFile(path_, 4096);
    if (!bytes) return;
    const QString extension = QJsonDocument::fromJson(*bytes).object().value(QStringLiteral("format")).toString();
    // Only the still formats; anything else (a damaged file, a JPEG) leaves BMP.
    const std::optional<PictureFormat> format = PictureFormatOf(QStringLiteral("still.") + extension);
    if (format && *format != PictureFormat::Jpeg) format_ = *format;
}

bool StillFormatSetting::SetFormat(PictureFormat format, QString* error)
{
    if (format == PictureFormat::Jpeg) format = PictureFormat::Bmp; // stills are never lossy
    format_ = format;
    QJsonObject object;
    object.insert(QStringLiteral("format"), ExtensionOf(format));
    return WriteFileWhole(path_, QJsonDocument(object).toJson(), error);
}
