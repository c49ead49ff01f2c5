#pragma once
// The running numbers in the names of captured files: stills and recordings count on from
// the largest number already in their folder.

#include <QString>
#include <QStringList>

#include <functional>

// The number after the last capital N of a file name, up to its last dot; -1 when the
// name has no capital N. Leading blanks and a sign are allowed; no number gives 0.
long RunningNumberOfName(const QString& fileName);

// One more than the largest running number among the folder's names matching `pattern`
// (*.bmp for pictures, *.avi for recordings). Directories named like them are reported
// through `onDirectory` and otherwise ignored.
int NextRunningNumber(const QString& folder, const std::function<void()>& onDirectory,
                      const QString& pattern = QStringLiteral("*.bmp"));
// The same over several patterns (stills of every format count on together).
int NextRunningNumber(const QString& folder, const std::function<void()>& onDirectory, const QStringList& patterns);
