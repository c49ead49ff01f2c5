#include "framework/RunningNumber.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <limits>

long RunningNumberOfName(const QString& fileName)
{
    const qsizetype n = fileName.lastIndexOf(QLatin1Char('N'));
    if (n < 0) return -1;
    QString tail = fileName.mid(n + 1);
    const qsizetype dot = tail.lastIndexOf(QLatin1Char('.'));
    if (dot > 0) tail.truncate(dot); // the first character is never removed
    // The leading number only, as a C conversion reads it; however long the tail is.
    qsizetype i = 0;
    while (i < tail.size() && (tail[i] == QLatin1Char(' ') || tail[i] == QLatin1Char('\t'))) ++i;
    bool negative = false;
    if (i < tail.size() && (tail[i] == QLatin1Char('+') || tail[i] == QLatin1Char('-')))
        negative = tail[i++] == QLatin1Char('-');
    long value = 0;
    for (; i < tail.size() && tail[i].isDigit() && tail[i].unicode() < 128; ++i) {
        if (value > (std::numeric_limits<int>::max() - 9) / 10) break; // a running number never gets this long
        value = value * 10 + (tail[i].unicode() - '0');
    }
    return negative ? -value : value;
}

int NextRunningNumber(const QString& folder, const std::function<void()>& onDirectory, const QString& pattern)
{
    return NextRunningNumber(folder, onDirectory, QStringList{pattern});
}

int NextRunningNumber(const QString& folder, const std::function<void()>& onDirectory, const QStringList& patterns)
{
    long largest = 0;
    QDir dir(folder);
    dir.setNameFilters(patterns);
    for (const QFileInfo& info : dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        if (info.isDir()) {
            if (onDirectory) onDirectory();
            continue;
        }
        largest = std::max(largest, RunningNumberOfName(info.fileName()));
    }
    return static_cast<int>(largest + 1);
}
