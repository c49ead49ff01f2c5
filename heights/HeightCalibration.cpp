#include "heights/HeightCalibration.h"

#include "framework/DamagedFiles.h"
#include "framework/RegularFile.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

namespace {
constexpr qint64 kMaxFileBytes = 64 * 1024;
}

QString HeightCalibrationStore::DefaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/heights.json");
}

HeightCalibrationStore::HeightCalibrationStore(QString path) : path_(std::move(path))
{
    const auto bytes = ReadRegularFile(path_, kMaxFileBytes);
    if (!bytes) {
        if (QFileInfo::exists(path_)) loadError_ = QStringLiteral("the file cannot be read");
        return;
    }
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(*bytes, &parseError);
    const QJsonObject magnifications = document.object().value(QStringLiteral("growthPerMicrometre")).toObject();
    const QJsonObject focusUnits = document.object().value(QStringLiteral("micrometresPerFocusUnit")).toObject();
    if (!document.isObject() || (magnifications.isEmpty() && focusUnits.isEmpty())) {
        loadError_ = parseError.error != QJsonParseError::NoError ? parseError.errorString()
                                                                  : QStringLiteral("no calibrations in it");
        return;
    }
    // A growth that no lens has (or none at all) is a damaged entry; a motorised focus moves
    // a lens between about a nanometre and a millimetre a unit.
    ReadEntries(magnifications, 1e-9, 0.1, growth_);
    ReadEntries(focusUnits, 1e-3, 1e3, focusUnit_);
}

void HeightCalibrationStore::ReadEntries(const QJsonObject& entries, double smallest, double largest,
                                         std::map<int, double>& into)
{
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        bool number = false;
        const int magnification = it.key().toInt(&number);
        const double value = it.value().toDouble();
        if (!number || magnification <= 0 || !std::isfinite(value) || std::abs(value) < smallest ||
            std::abs(value) > largest) {
            loadError_ = QStringLiteral("a calibration for \"%1\" is not one").arg(it.key());
            continue;
        }
        into[magnification] = value;
    }
}

std::optional<double> HeightCalibrationStore::FindFocusUnit(int magnification) const
{
    const auto found = focusUnit_.find(magnification);
    return found == focusUnit_.end() ? std::nullopt : std::optional<double>(found->second);
}

std::optional<double> HeightCalibrationStore::Find(int magnification) const
{
    const auto found = growth_.find(magnification);
    return found == growth_.end() ? std::nullopt : std::optional<double>(found->second);
}

HeightScale HeightCalibrationStore::ScaleFor(int magnification) const
{
    HeightScale scale{kNominalGrowthPerMicrometre, true, 0.2};
    if (const auto growth = Find(magnification)) scale = {*growth, false, 0.02};
    if (const auto perUnit = FindFocusUnit(magnification)) {
        scale.micrometresPerFocusUnit = *perUnit;
        scale.focusUnitNominal = false;
        scale.focusUnitUncertainty = 0.02;
    }
    return scale;
}

bool HeightCalibrationStore::Set(int magnification, double growthPerMicrometre, QString* error)
{
    growth_[magnification] = growthPerMicrometre;
    return Write(error);
}

bool HeightCalibrationStore::SetFocusUnit(int magnification, double micrometresPerFocusUnit, QString* error)
{
    focusUnit_[magnification] = micrometresPerFocusUnit;
    return Write(error);
}

bool HeightCalibrationStore::SetFor(const HeightMap& map, int magnification, double calibrated, QString* error)
{
    return map.fromFocusPositions ? SetFocusUnit(magnification, calibrated, error)
                                  : Set(magnification, calibrated, error);
}

bool HeightCalibrationStore::Write(QString* error) const
{
    QJsonObject magnifications, focusUnits;
    for (const auto& [m, growth] : growth_) magnifications.insert(QString::number(m), growth);
    for (const auto& [m, perUnit] : focusUnit_) focusUnits.insert(QString::number(m), perUnit);
    QJsonObject root{{QStringLiteral("growthPerMicrometre"), magnifications}};
    if (!focusUnits.isEmpty()) root.insert(QStringLiteral("micrometresPerFocusUnit"), focusUnits);
    return WriteFileWhole(path_, QJsonDocument(root).toJson(), error);
}

QString HeightCalibrationStore::Recover(const QString& path)
{
    const HeightCalibrationStore store(path);
    if (store.loadError_.isEmpty()) return {};
    const QString aside = KeepDamagedAside(path);
    if (aside.isEmpty())
        return QStringLiteral("%1 is damaged (%2) and could not be kept aside").arg(path, store.loadError_);
    return QStringLiteral("%1 was damaged (%2); it is kept as %3").arg(path, store.loadError_, aside);
}

std::optional<double> HeightCalibrationStore::Calibrate(const HeightMap& map, const HeightScale& used, QPointF low,
                                                        QPointF high, double knownMicrometres)
{
    // Each surface over a patch around the click: a calibration is worth only its surfaces'
    // heights, not one point's.
    const auto a = map.HeightNear(low, 8), b = map.HeightNear(high, 8);
    if (!a || !b || knownMicrometres <= 0) return std::nullopt;
    const double measured = b->first - a->first; // in the micrometres `used` gave
    if (std::abs(measured) < 1e-3) return std::nullopt;
    // Heights scale with the focus travel per unit, inversely with the growth per micrometre.
    if (map.fromFocusPositions) return used.micrometresPerFocusUnit * knownMicrometres / measured;
    return used.growthPerMicrometre * measured / knownMicrometres;
}

double HeightCalibrationStore::Rescaling(const HeightMap& map, double used, double calibrated)
{
    return map.fromFocusPositions ? calibrated / used : used / calibrated;
}
