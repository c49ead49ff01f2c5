#pragma once
// A settings file that cannot be read whole is kept aside rather than overwritten by the
// next save: renamed to NAME.damaged (NAME.damaged.2, ... when that is taken), so whatever
// the user may still want from it stays on disk. The program goes on with what it could read.

#include <QString>

// The name the file now has, or empty (with nothing moved) when it could not be renamed.
QString KeepDamagedAside(const QString& path);
