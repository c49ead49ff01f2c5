#include "framework/MessageBox.h"

#include "framework/LangText.h"

#include <QApplication>
#include <QMessageBox>

namespace {
MessageBoxHook& Hook()
{
    static MessageBoxHook hook;
    return hook;
}

QMessageBox::Icon ToQtIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Warning:
    case MessageIcon::Exclamation: return QMessageBox::Warning;
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}
} // namespace

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    MessageBoxHook old = std::move(Hook());
    Hook() = std::move(hook);
    return old;
}

Answer ShowMessageBox(QWidget* parent, const QString& text, const QString& caption, MessageButtons buttons,
                      MessageIcon icon)
{
    if (Hook()) return Hook()(MessageBoxRequest{text, caption, buttons, icon});

    QMessageBox box(ToQtIcon(icon), caption, text, QMessageBox::NoButton, parent);
    switch (buttons) {
    case MessageButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case MessageButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MessageButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case MessageButtons::SaveDiscardCancel:
        box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Save);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Yes:
    case QMessageBox::Save: return Answer::Yes;
    case QMessageBox::No:
    case QMessageBox::Discard: return Answer::No;
    default: return buttons == MessageButtons::YesNo ? Answer::No : Answer::Cancel;
    }
}

void ShowSaveFailure(QWidget* parent, const QString& reason)
{
    ShowMessageBox(parent, LangText("SaveAsFail", 100, "The file could not be saved:") + QLatin1Char('\n') + reason,
                   QApplication::applicationName(), MessageButtons::Ok, MessageIcon::Error);
}
