#pragma once
// Helpers shared by the tests: temporary folders, answering message boxes, waiting.

#include "framework/MessageBox.h"

#include <QColor>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <vector>

// Records every message box and answers it with `answer`; the previous hook comes back
// when this goes out of scope.
class MessageBoxRecorder {
public:
    explicit MessageBoxRecorder(Answer answer = Answer::Ok);
    ~MessageBoxRecorder();
    const std::vector<MessageBoxRequest>& Boxes() const { return boxes_; }
    void SetAnswer(Answer answer) { answer_ = answer; }

private:
    std::vector<MessageBoxRequest> boxes_;
    Answer answer_;
    MessageBoxHook previous_;
};

// Runs the event loop until `condition` holds or `timeoutMs` passes; true when it held.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

// Writes `bytes` to `path`, creating folders as needed.
void WriteFile(const QString& path, const QByteArray& bytes);
QByteArray ReadFile(const QString& path);

// An 8 x 6 24-bit BMP file of one colour.
QByteArray SmallBmp(QRgb colour);
