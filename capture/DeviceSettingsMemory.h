#pragma once
// What the user last set on each microscope: its picture properties and capture size, kept
// under the camera's stable identity (its USB serial, not /dev/videoN, which changes between
// plugs) in a small JSON file of the per-user configuration folder. A missing, damaged or
// hand-edited file gives an empty memory: the camera then simply starts as it is.

#include <QSize>
#include <QString>

#include <map>
#include <string>

struct RememberedProperty {
    int value = 0;
    int flags = 0;
};

struct RememberedSettings {
    QSize captureSize;                            // invalid when never chosen
    std::map<int, RememberedProperty> properties; // by property number
};

class DeviceSettingsMemory {
public:
    // Reads `path`; a damaged file leaves the memory empty and says so in LoadError().
    explicit DeviceSettingsMemory(QString path);
    const QString& LoadError() const { return loadError_; }
    // Once at start: a damaged file is kept aside (NAME.damaged) rather than replaced at the
    // next save. What was done, for the user; empty when the file was whole or missing.
    QString KeepDamagedFileAside();

    // Null when nothing is remembered for `identity` (or the identity is empty).
    const RememberedSettings* Find(const std::string& identity) const;
    void RememberProperty(const std::string& identity, int property, int value, int flags);
    void RememberCaptureSize(const std::string& identity, QSize size);

    // Writes the file when something changed since the last save; false with the reason in
    // `error` when it could not be written (the previous file then stays as it was).
    bool Save(QString* error = nullptr);
    bool HasUnsavedChanges() const { return dirty_; }

private:
    void Load();

    QString path_;
    QString loadError_;
    std::map<std::string, RememberedSettings> devices_;
    bool dirty_ = false;
};
