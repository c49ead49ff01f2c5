#pragma once
// The about box: the program's name, what it is for, its version and copyright, and its
// picture.

#include "framework/ModalDialog.h"

class QLabel;

class CAboutDlg : public CModalDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    QLabel& TitleLine() const { return *title_; }
    QLabel& DescriptionLine() const { return *description_; }
    QLabel& VersionLine() const { return *version_; }
    QLabel& CopyrightLine() const { return *copyright_; }

private:
    QLabel* title_ = nullptr;
    QLabel* description_ = nullptr;
    QLabel* version_ = nullptr;
    QLabel* copyright_ = nullptr;
};

// Hands the manual next to the executable to the desktop; nothing is shown when that fails.
void OpenManual();
