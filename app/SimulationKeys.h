#pragma once
// The simulated microscope's knobs on the keyboard, as a person at a real one turns them:
// Page Up and Page Down turn the focus, Ctrl+B moves the slide to an empty area and back,
// Ctrl+arrows move the stage (with Shift, in larger steps). A control that uses the key
// itself (the list, a text box, a slider) keeps it.

#include <QObject>

#include <memory>

namespace backend {
class SimulatedDevice;
}

class SimulationKeys : public QObject {
    Q_OBJECT
public:
    static constexpr int kFocusStep = 2;
    static constexpr int kStageStep = 80, kLargeStageStep = 400; // micrometres (a field is 1600)
    explicit SimulationKeys(std::shared_ptr<backend::SimulatedDevice> device, QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::shared_ptr<backend::SimulatedDevice> device_;
};
