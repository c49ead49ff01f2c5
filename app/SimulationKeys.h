#pragma once
// The simulated microscope's knobs on the keyboard, as a person at a real one turns them:
// Page Up and Page Down turn the focus, Ctrl+B moves the slide to an empty area and back.

#include <QObject>

#include <memory>

namespace backend {
class SimulatedDevice;
}

class SimulationKeys : public QObject {
    Q_OBJECT
public:
    static constexpr int kFocusStep = 2;
    explicit SimulationKeys(std::shared_ptr<backend::SimulatedDevice> device, QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::shared_ptr<backend::SimulatedDevice> device_;
};
