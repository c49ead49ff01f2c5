#pragma once
// Long work (a stack or a mosaic of many pictures) run on a thread of its own while the
// window stays responsive. A progress bar with a Cancel button appears when the work takes
// longer than a second; Cancel asks the work to stop at its next step.

#include <QString>

#include <functional>

class QWidget;

// `report(done, total)` gives the work's progress; it returns false once the user cancelled.
using ProgressReport = std::function<bool(int done, int total)>;

// Returns when `work` has returned. False when the user cancelled.
bool RunWithProgress(QWidget* parent, const QString& label, const QString& cancelText,
                     const std::function<void(const ProgressReport& report)>& work);
