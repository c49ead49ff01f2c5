#include "app/SimulationKeys.h"

#include "capture/backend/SimulatedBackend.h"

#include <QKeyEvent>

SimulationKeys::SimulationKeys(std::shared_ptr<backend::SimulatedDevice> device, QObject* parent)
    : QObject(parent), device_(std::move(device))
{
}

bool SimulationKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (device_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_PageUp: device_->SetFocus(device_->Focus() + kFocusStep); return true;
        case Qt::Key_PageDown: device_->SetFocus(device_->Focus() - kFocusStep); return true;
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
