#pragma once
// Recordings cut short (the program killed, the power gone, a full disk): their frames are
// in the file, but it ends without its index and with its sizes unset, so players read no
// duration. Such a file is recognised from its first bytes and repaired by copying its
// packets into a whole new file, which then replaces it in one step.

#include <QString>

// True when the file is an AVI whose RIFF size was never written or runs past its end.
bool IsCutShortAvi(const QString& path);

// The seconds of video the file holds, found by reading its packets (for files without an
// index); 0 when none can be read.
double ScanVideoSeconds(const QString& path);

enum class AviRepairResult { Repaired, NothingToKeep, Failed };

// Rewrites a cut-short recording whole beside itself and swaps it in; the original stays
// as it was on failure (the reason in `error`).
AviRepairResult RepairCutShortAvi(const QString& path, QString* error);
