#include "app/stills/StillFormatSetting.h"

#include "framework/RegularFile.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <optional>

StillFormatSetting::StillFormatSetting(QString path) : path_(std::move(path))
{
    const std::optional<QByteArray> bytes = ReadRegularFile(path_, 4096);
    if (!bytes) return;
    const QJsonObject object = QJsonDocument::fromJson(*bytes).object();
    nominalScale_ = object.value(QStringLiteral("nominalScale")).toBool(false);
    depthMap_ = object.value(QStringLiteral("depthMap")).toBool(false);
    drawMeasurements_ = object.value(QStringLiteral("drawMeasurements")).toBool(false);
    const QString extension = object.value(QStringLiteral("format")).toString();
    // Only the still formats; anything else (a damaged file, a JPEG) leaves BMP.
    const std::optional<PictureFormat> format = PictureFormatOf(QStringLiteral("still.") + extension);
    if (format && *format != PictureFormat::Jpeg) format_ = *format;
}

bool StillFormatSetting::SetFormat(PictureFormat format, QString* error)
{
    if (format == PictureFormat::Jpeg) format = PictureFormat::Bmp; // stills are never lossy
    format_ = format;
    return Save(error);
}

bool StillFormatSetting::SetNominalScale(bool on, QString* error)
{
    nominalScale_ = on;
    return Save(error);
}

bool StillFormatSetting::SetDepthMap(bool on, QString* error)
{
    depthMap_ = on;
    return Save(error);
}

bool StillFormatSetting::SetDrawMeasurements(bool on, QString* error)
{
    drawMeasurements_ = on;
    return Save(error);
}

bool StillFormatSetting::Save(QString* error) const
{
    QJsonObject object;
    object.insert(QStringLiteral("format"), ExtensionOf(format_));
    object.insert(QStringLiteral("nominalScale"), nominalScale_);
    object.insert(QStringLiteral("depthMap"), depthMap_);
    object.insert(QStringLiteral("drawMeasurements"), drawMeasurements_);
    return WriteFileWhole(path_, QJsonDocument(object).toJson(), error);
}
