#include "capture/DeviceSettingsMemory.h"

#include "framework/DamagedFiles.h"
#include "framework/Logging.h"
#include "framework/RegularFile.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr qint64 kMaxFileBytes = 1 << 20;
constexpr int kMaxDevices = 64; // a file grown beyond this was not written by the program

// The capture sizes the program offers; anything else in the file is ignored.
bool IsOfferedSize(QSize size)
{
    return size == QSize(320, 240) || size == QSize(640, 480) || size == QSize(1280, 1024);
}

} // namespace

DeviceSettingsMemory::DeviceSettingsMemory(QString path) : path_(std::move(path))
{
    Load();
}

void DeviceSettingsMemory::Load()
{
    const auto bytes = ReadRegularFile(path_, kMaxFileBytes);
    if (!bytes) return; // never saved yet
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(*bytes, &parseError);
    if (!document.isObject()) {
        loadError_ =
            parseError.error != QJsonParseError::NoError ? parseError.errorString() : QStringLiteral("not an object");
        qCWarning(lcCapture) << "ignoring the damaged device settings" << path_ << loadError_;
        return;
    }
    const QJsonObject devices = document.object().value(QStringLiteral("devices")).toObject();
    for (auto device = devices.begin(); device != devices.end() && devices_.size() < kMaxDevices; ++device) {
        const QJsonObject record = device.value().toObject();
        RememberedSettings settings;
        const QSize size(record.value(QStringLiteral("width")).toInt(), record.value(QStringLiteral("height")).toInt());
        if (IsOfferedSize(size)) settings.captureSize = size;
        const QJsonObject properties = record.value(QStringLiteral("properties")).toObject();
        for (auto property = properties.begin(); property != properties.end(); ++property) {
            bool isNumber = false;
            const int number = property.key().toInt(&isNumber);
            const QJsonObject entry = property.value().toObject();
            if (!isNumber || number < 0 || number > 5 || !entry.value(QStringLiteral("value")).isDouble()) continue;
            settings.properties[number] = {entry.value(QStringLiteral("value")).toInt(),
                                           entry.value(QStringLiteral("flags")).toInt()};
        }
        if (!device.key().isEmpty()) devices_[device.key().toStdString()] = std::move(settings);
    }
}

QString DeviceSettingsMemory::KeepDamagedFileAside()
{
    if (loadError_.isEmpty()) return {};
    const QString aside = KeepDamagedAside(path_);
    const QString notice =
        aside.isEmpty() ? QStringLiteral("%1 is damaged (%2) and could not be kept aside").arg(path_, loadError_)
                        : QStringLiteral("%1 was damaged (%2); it is kept as %3, and the microscopes' settings start "
                                         "afresh")
                              .arg(path_, loadError_, aside);
    loadError_.clear();
    return notice;
}

const RememberedSettings* DeviceSettingsMemory::Find(const std::string& identity) const
{
    if (identity.empty()) return nullptr;
    const auto it = devices_.find(identity);
    return it == devices_.end() ? nullptr : &it->second;
}

void DeviceSettingsMemory::RememberProperty(const std::string& identity, int property, int value, int flags)
{
    if (identity.empty()) return;
    auto& properties = devices_[identity].properties;
    const auto it = properties.find(property);
    if (it != properties.end() && it->second.value == value && it->second.flags == flags) return;
    properties[property] = {value, flags};
    dirty_ = true;
}

void DeviceSettingsMemory::RememberCaptureSize(const std::string& identity, QSize size)
{
    if (identity.empty() || !IsOfferedSize(size)) return;
    devices_[identity].captureSize = size;
    dirty_ = true;
}

bool DeviceSettingsMemory::Save(QString* error)
{
    if (!dirty_) return true;
    QJsonObject devices;
    for (const auto& [identity, settings] : devices_) {
        QJsonObject record;
        if (settings.captureSize.isValid()) {
            record.insert(QStringLiteral("width"), settings.captureSize.width());
            record.insert(QStringLiteral("height"), settings.captureSize.height());
        }
        QJsonObject properties;
        for (const auto& [property, entry] : settings.properties)
            properties.insert(QString::number(property), QJsonObject{{QStringLiteral("value"), entry.value},
                                                                     {QStringLiteral("flags"), entry.flags}});
        record.insert(QStringLiteral("properties"), properties);
        devices.insert(QString::fromStdString(identity), record);
    }
    QDir().mkpath(QFileInfo(path_).absolutePath());
    QString reason;
    if (!WriteFileWhole(path_, QJsonDocument(QJsonObject{{QStringLiteral("devices"), devices}}).toJson(), &reason)) {
        qCWarning(lcCapture) << "the device settings could not be saved:" << reason;
        if (error) *error = reason;
        return false;
    }
    dirty_ = false;
    return true;
}
