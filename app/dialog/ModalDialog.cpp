#include "ModalDialog.h"

#include "AppMessages.h"

#include <QKeyEvent>

CModalDialog::CModalDialog(QWidget* parent)
    : QDialog(parent), timers_(this, [this](int id) { OnTimer(id); })
{
}

int CModalDialog::DoModal()
{
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

void CModalDialog::EndDialog(int result)
{
    done(result == IDOK ? QDialog::Accepted : QDialog::Rejected);
}

bool CModalDialog::event(QEvent* event)
{
    if (AppMessageEvent::IsAppMessage(event)) {
        OnAppMessage(*static_cast<AppMessageEvent*>(event));
        return true;
    }
    return QDialog::event(event);
}

void CModalDialog::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (swallowEscAndEnter_ && (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
