#include "app/SimulationKeys.h"

#include "capture/backend/SimulatedBackend.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>

SimulationKeys::SimulationKeys(std::shared_ptr<backend::SimulatedDevice> device, QObject* parent)
    : QObject(parent), device_(std::move(device))
{
}

bool SimulationKeys::eventFilter(QObject* watched, QEvent* event)
{
    // Only keys that reached a window, which its focused control left unused: the list's
    // Page Up and Ctrl+Page Down, a text box's Ctrl+arrows and a slider's Page Up stay theirs.
    // A number box (the magnification) has no words for Ctrl+arrows to jump between: there
    // they move the stage before the box sees them.
    const auto* widget = qobject_cast<QWidget*>(watched);
    const auto* box = qobject_cast<const QLineEdit*>(watched);
    const bool numberBox = box && box->validator() && event->type() == QEvent::KeyPress &&
                           (static_cast<QKeyEvent*>(event)->modifiers() & Qt::ControlModifier) &&
                           static_cast<QKeyEvent*>(event)->key() >= Qt::Key_Left &&
                           static_cast<QKeyEvent*>(event)->key() <= Qt::Key_Down;
    if (device_ && event->type() == QEvent::KeyPress && widget && (widget->isWindow() || numberBox)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_PageUp: device_->SetFocus(device_->Focus() + kFocusStep); return true;
        case Qt::Key_PageDown: device_->SetFocus(device_->Focus() - kFocusStep); return true;
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
            if (key->modifiers() & Qt::ControlModifier) {
                // A twentieth of a field a press, a quarter with Shift.
                const int step = key->modifiers() & Qt::ShiftModifier ? kLargeStageStep : kStageStep;
                const int dx = key->key() == Qt::Key_Left ? -step : key->key() == Qt::Key_Right ? step : 0;
                const int dy = key->key() == Qt::Key_Up ? -step : key->key() == Qt::Key_Down ? step : 0;
                device_->MoveStage(dx, dy);
                return true;
            }
            break;
        case Qt::Key_B:
            if (key->modifiers() & Qt::ControlModifier) {
                device_->SetBlankField(!device_->BlankField());
                return true;
            }
            break;
        default: break;
        }
    }
    return QObject::eventFilter(watched, event);
}
