#pragma once
// Base of the program's dialogs: run modally with an OK/Cancel result, numbered timers,
// application messages, and (optionally) Esc and Enter swallowed so they never close it.

#include "MessageBox.h"
#include "NumberedTimers.h"

#include <QDialog>

class AppMessageEvent;

class CModalDialog : public QDialog {
    Q_OBJECT
public:
    explicit CModalDialog(QWidget* parent = nullptr);

    // Runs the dialog and returns IDOK or IDCANCEL.
    int DoModal();
    void EndDialog(int result);

    void SetTimer(int id, int milliseconds) { timers_.SetTimer(id, milliseconds); }
    void KillTimer(int id) { timers_.KillTimer(id); }
    const NumberedTimers& Timers() const { return timers_; }

protected:
    // Esc and Enter key presses are dropped before the dialog sees them.
    void SetSwallowEscAndEnter(bool swallow) { swallowEscAndEnter_ = swallow; }

    virtual void OnTimer(int /*id*/) {}
    virtual bool OnAppMessage(const AppMessageEvent& /*message*/) { return false; }

    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    NumberedTimers timers_;
    bool swallowEscAndEnter_ = false;
};
