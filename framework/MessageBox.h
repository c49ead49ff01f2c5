#pragma once
// Message boxes with the buttons and icons the program uses. The result is compared with
// IDOK or IDYES. Tests replace the box with a hook that records it and answers.

#include <QString>

#include <functional>

class QWidget;

// SaveDiscardCancel answers IDYES for Save, IDNO for Discard and IDCANCEL for Cancel.
enum class MessageButtons { Ok, OkCancel, YesNo, SaveDiscardCancel };
enum class MessageIcon { None, Warning, Exclamation, Error, Question, Information };
enum MessageResult { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

struct MessageBoxRequest {
    QString text;
    QString caption;
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
};

using MessageBoxHook = std::function<int(const MessageBoxRequest&)>;

// Shows the box modally (or asks the hook) and returns IDOK, IDCANCEL, IDYES or IDNO.
int ShowMessageBox(QWidget* parent, const QString& text, const QString& caption,
                   MessageButtons buttons = MessageButtons::Ok, MessageIcon icon = MessageIcon::None);

// "The file could not be saved:" with the system's reason, under the program's name.
void ShowSaveFailure(QWidget* parent, const QString& reason);

// Installs a hook that answers every message box instead of the user; returns the old one.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);
