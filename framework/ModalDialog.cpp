#include "framework/ModalDialog.h"

#include <QKeyEvent>

CModalDialog::CModalDialog(QWidget* parent) : QDialog(parent) {}

Answer CModalDialog::DoModal()
{
    return exec() == QDialog::Accepted ? Answer::Ok : Answer::Cancel;
}

void CModalDialog::EndDialog(Answer result)
{
    done(result == Answer::Ok ? QDialog::Accepted : QDialog::Rejected);
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
