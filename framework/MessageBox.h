#pragma once
// Message boxes with the buttons and icons the program uses, and the user's answer. Tests
// replace the box with a hook that records it and answers.

#include <QString>

#include <functional>

class QWidget;

enum class MessageButtons { Ok, OkCancel, YesNo, SaveDiscardCancel };
enum class MessageIcon { None, Warning, Exclamation, Error, Question, Information };
// A box's button, or how a dialog ended (Ok or Cancel). SaveDiscardCancel answers Yes for
// Save, No for Discard and Cancel for Cancel; closing a Yes/No box answers No.
enum class Answer { Ok, Cancel, Yes, No };

struct MessageBoxRequest {
    QString text;
    QString caption;
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
};

using MessageBoxHook = std::function<Answer(const MessageBoxRequest&)>;

// Shows the box modally (or asks the hook) and returns the button chosen.
Answer ShowMessageBox(QWidget* parent, const QString& text, const QString& caption,
                      MessageButtons buttons = MessageButtons::Ok, MessageIcon icon = MessageIcon::None);

// "The file could not be saved:" with the system's reason, under the program's name.
void ShowSaveFailure(QWidget* parent, const QString& reason);

// Installs a hook that answers every message box instead of the user; returns the old one.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);
