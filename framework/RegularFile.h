#pragma once
// Opening files that come from folders the user (or anybody) can put things in: never
// blocks on a FIFO or a device, and takes only regular files, after following links.
// Anything else is reported as unreadable.

#include "framework/OwnedFd.h"

#include <QByteArray>
#include <QString>

#include <optional>

// A read-only descriptor of a regular file (blocking again once it is known to be one), or
// an invalid one with errno set (EINVAL for something that is not a regular file).
OwnedFd OpenRegularFile(const QString& path);

// The whole file when it is a regular file of at most `maxBytes` bytes.
std::optional<QByteArray> ReadRegularFile(const QString& path, qint64 maxBytes);

// True when `path` names a regular file (after following links) that can be opened.
bool IsReadableRegularFile(const QString& path, qint64* size = nullptr);

// Copies a regular file to `destination` through a temporary file that replaces the
// destination only when it is complete. False with the system's reason in `error` on any
// failure; the old destination is then left as it was.
bool CopyRegularFile(const QString& source, const QString& destination, QString* error);

// Writes `bytes` to `destination` the same way.
bool WriteFileWhole(const QString& destination, const QByteArray& bytes, QString* error);

// True when both names lead to one file (the same device and inode, after following links:
// another path, a symbolic or a hard link). False when either does not exist.
bool IsSameFile(const QString& first, const QString& second);

// Removes the temporary files the writers above leave when the program is killed while
// writing ("NAME.EXT.XXXXXX" beside the file it was to become) from `folder`. Only for
// folders no other program writes such names into, when nothing of ours is writing.
int RemoveStaleTemporaryFiles(const QString& folder);
