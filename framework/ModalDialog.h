#pragma once
// Base of the program's dialogs: run modally with an OK/Cancel result, and (optionally) Esc
// and Enter swallowed so they never close it.

#include "framework/MessageBox.h"

#include <QDialog>

class CModalDialog : public QDialog {
    Q_OBJECT
public:
    explicit CModalDialog(QWidget* parent = nullptr);

    // Runs the dialog and returns Answer::Ok or Answer::Cancel.
    Answer DoModal();
    void EndDialog(Answer result);

protected:
    // Esc and Enter key presses are dropped before the dialog sees them.
    void SetSwallowEscAndEnter(bool swallow) { swallowEscAndEnter_ = swallow; }

    void keyPressEvent(QKeyEvent* event) override;

private:
    bool swallowEscAndEnter_ = false;
};
