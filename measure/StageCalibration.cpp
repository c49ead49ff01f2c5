#include "measure/StageCalibration.h"

#include "framework/DamagedFiles.h"

#include "framework/RegularFile.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 kMaxFileBytes = 1 << 20;
constexpr int kReferenceWidth = 1280;

// What a real microscope can be: a pixel of 1 nm to 1 mm, a magnification of 1 to 10000.
bool IsSensible(const StageCalibration& c)
{
    return c.magnification >= 1 && c.magnification <= 10000 && std::isfinite(c.millimetresPerPixel) &&
           c.millimetresPerPixel >= 1e-6 && c.millimetresPerPixel <= 1.0;
}

} // namespace

QString CalibrationStore::DefaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/calibrations.json");
}

CalibrationStore::CalibrationStore(QString path) : path_(std::move(path))
{
    const auto bytes = ReadRegularFile(path_, kMaxFileBytes);
    if (!bytes) {
        if (QFileInfo::exists(path_)) loadError_ = QStringLiteral("the file cannot be read");
        return;
    }
    // A damaged entry costs only itself: the others are still used.
    if (!FromJson(*bytes, calibrations_, unit_, loadError_, true)) {
        calibrations_.clear();
        unit_ = LengthUnit::Millimetre;
    }
}

QString CalibrationStore::Recover(const QString& path)
{
    CalibrationStore store(path);
    if (store.loadError_.isEmpty()) return {};
    const QString aside = KeepDamagedAside(path);
    if (aside.isEmpty())
        return QStringLiteral("%1 is damaged (%2) and could not be kept aside").arg(path, store.loadError_);
    QString notice = QStringLiteral("%1 was damaged (%2); it is kept as %3").arg(path, store.loadError_, aside);
    if (!store.calibrations_.empty()) {
        store.Save(nullptr);
        notice +=
            QStringLiteral(", and the %1 calibrations that could be read are used").arg(store.calibrations_.size());
    } else {
        notice += QStringLiteral("; no calibration could be read from it");
    }
    return notice;
}

bool CalibrationStore::FromJson(const QByteArray& bytes, std::vector<StageCalibration>& calibrations, LengthUnit& unit,
                                QString& error, bool skipDamaged)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (!document.isObject()) {
        error =
            parseError.error != QJsonParseError::NoError ? parseError.errorString() : QStringLiteral("not an object");
        return false;
    }
    const QJsonObject root = document.object();
    unit = root.value(QStringLiteral("unit")).toString() == QStringLiteral("um") ? LengthUnit::Micrometre
                                                                                 : LengthUnit::Millimetre;
    const QJsonArray list = root.value(QStringLiteral("calibrations")).toArray();
    for (const QJsonValue& value : list) {
        const QJsonObject entry = value.toObject();
        StageCalibration c;
        c.magnification = entry.value(QStringLiteral("magnification")).toInt();
        c.millimetresPerPixel = entry.value(QStringLiteral("millimetresPerPixel")).toDouble();
        c.name = entry.value(QStringLiteral("name")).toString().left(100);
        if (!IsSensible(c)) {
            error = QStringLiteral("a calibration for %1X is not sensible").arg(c.magnification);
            if (skipDamaged) continue;
            return false;
        }
        std::erase_if(calibrations, [&](const StageCalibration& o) { return o.magnification == c.magnification; });
        calibrations.push_back(c);
    }
    return true;
}

QByteArray CalibrationStore::ToJson() const
{
    QJsonArray list;
    for (const StageCalibration& c : calibrations_)
        list.append(QJsonObject{{QStringLiteral("magnification"), c.magnification},
                                {QStringLiteral("millimetresPerPixel"), c.millimetresPerPixel},
                                {QStringLiteral("name"), c.name}});
    const QJsonObject root{{QStringLiteral("unit"), unit_ == LengthUnit::Micrometre ? "um" : "mm"},
                           {QStringLiteral("calibrations"), list}};
    return QJsonDocument(root).toJson();
}

std::optional<StageCalibration> CalibrationStore::Find(int magnification) const
{
    const auto it = std::find_if(calibrations_.begin(), calibrations_.end(),
                                 [&](const StageCalibration& c) { return c.magnification == magnification; });
    return it == calibrations_.end() ? std::nullopt : std::optional<StageCalibration>(*it);
}

bool CalibrationStore::Set(const StageCalibration& calibration, QString* error)
{
    if (!IsSensible(calibration)) {
        if (error) *error = QStringLiteral("not a sensible calibration");
        return false;
    }
    std::erase_if(calibrations_,
                  [&](const StageCalibration& c) { return c.magnification == calibration.magnification; });
    calibrations_.push_back(calibration);
    std::sort(calibrations_.begin(), calibrations_.end(),
              [](const StageCalibration& a, const StageCalibration& b) { return a.magnification < b.magnification; });
    return Save(error);
}

bool CalibrationStore::Rename(int magnification, const QString& name, QString* error)
{
    for (StageCalibration& c : calibrations_)
        if (c.magnification == magnification) c.name = name.left(100);
    return Save(error);
}

bool CalibrationStore::Remove(int magnification, QString* error)
{
    std::erase_if(calibrations_, [&](const StageCalibration& c) { return c.magnification == magnification; });
    return Save(error);
}

bool CalibrationStore::SetUnit(LengthUnit unit, QString* error)
{
    unit_ = unit;
    return Save(error);
}

bool CalibrationStore::Save(QString* error)
{
    QDir().mkpath(QFileInfo(path_).absolutePath());
    return WriteFileWhole(path_, ToJson(), error);
}

bool CalibrationStore::Export(const QString& path, QString* error) const
{
    return WriteFileWhole(path, ToJson(), error);
}

bool CalibrationStore::Import(const QString& path, QString* error)
{
    const auto bytes = ReadRegularFile(path, kMaxFileBytes);
    if (!bytes) {
        if (error) *error = QStringLiteral("the file cannot be read");
        return false;
    }
    std::vector<StageCalibration> imported;
    LengthUnit ignoredUnit = unit_;
    QString reason;
    if (!FromJson(*bytes, imported, ignoredUnit, reason)) {
        if (error) *error = reason;
        return false;
    }
    for (const StageCalibration& c : imported) {
        std::erase_if(calibrations_, [&](const StageCalibration& o) { return o.magnification == c.magnification; });
        calibrations_.push_back(c);
    }
    std::sort(calibrations_.begin(), calibrations_.end(),
              [](const StageCalibration& a, const StageCalibration& b) { return a.magnification < b.magnification; });
    return Save(error);
}

double CalibrationStore::MillimetresPerPicturePixel(const StageCalibration& calibration, int pictureWidth)
{
    return pictureWidth > 0 ? calibration.millimetresPerPixel * kReferenceWidth / pictureWidth : 0;
}
