#pragma once
// Where the program finds its own files and keeps the user's media.

#include <QString>

// The executable's directory, without a trailing separator.
QString ProgramDirectory();

// Where the language files and the manual are: next to the executable in the build tree,
// else the installed data folder (../share/qrv-dm500 from the executable).
QString DataDirectory();
QString DataDirectoryFor(const QString& programDirectory);

// The user's documents folder as the desktop names it (XDG_DOCUMENTS_DIR in the user's
// folder list, e.g. ~/Dokumente), else Qt's idea of it.
QString DesktopDocumentsFolder();

// The picture and video folders under the user's documents folder.
struct MediaFolders {
    QString base;
    QString video;
    QString picture;

    // Builds the three paths under `documents` (the user's documents folder by default)
    // and creates the folders in the order base, video, picture. Failures are not reported:
    // saving into a missing folder fails later, where the user sees it.
    static MediaFolders Create(const QString& documents = {});
};
