#pragma once
// Flat-field references kept in the configuration folder, one file per microscope (its
// stable identity) and capture size, so each comes back with its device. The file holds the
// reference in 1/256 steps, compressed; a damaged or foreign file is refused, never half
// used.

#include "processing/FlatField.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <string>

class FlatFieldStore {
public:
    explicit FlatFieldStore(QString folder) : folder_(std::move(folder)) {}

    QString PathFor(const std::string& identity, int width, int height) const;
    // False with the reason in `error`; an older file is replaced only by a whole new one.
    bool Save(const std::string& identity, const FlatFieldReference& reference, QString* error) const;
    // None when there is no file; `error` says why when one exists but cannot be used.
    std::optional<FlatFieldReference> Load(const std::string& identity, int width, int height,
                                           QString* error = nullptr) const;
    bool Remove(const std::string& identity, int width, int height) const;
    // Once at start: every reference file that cannot be used is kept aside (NAME.damaged)
    // rather than silently ignored. What was done, a line per file, for the user.
    QStringList KeepDamagedFilesAside() const;

    // The file's bytes, and back (exposed for the fuzz harness and tests).
    static QByteArray Encode(const FlatFieldReference& reference);
    static std::optional<FlatFieldReference> Decode(const QByteArray& bytes, QString* error);

private:
    QString folder_;
};
