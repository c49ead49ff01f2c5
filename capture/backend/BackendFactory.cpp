#include "capture/backend/BackendFactory.h"

#include "capture/backend/CompositeBackend.h"
#include "capture/backend/SimulatedBackend.h"
#include "capture/backend/V4l2Backend.h"

std::unique_ptr<backend::CaptureBackend> CreateCaptureBackend(const SimulationOptions& simulation,
                                                              std::shared_ptr<backend::SimulatedDevice>* simulated)
{
    auto composite = std::make_unique<backend::CompositeBackend>();
    const backend::KernelCalls calls = backend::RealKernelCalls();
    auto nodes = std::make_unique<backend::UdevVideoNodes>(
        [calls](const std::string& devnode) { return backend::QueryDeviceCaps(calls, devnode); });
    composite->Add(std::make_unique<backend::V4l2Backend>(calls, std::move(nodes), true));
    if (simulation.enabled) {
        auto backend = std::make_unique<backend::SimulatedBackend>(true, simulation.slide);
        backend->Microscope()->SetUnevenLamp(simulation.unevenLamp);
        backend->Microscope()->SetBlankField(simulation.blankField);
        backend->Microscope()->SetMotionJpeg(simulation.motionJpeg);
        backend->Microscope()->SetFocusSweep(simulation.focusSweep);
        backend->Microscope()->SetStagePath(simulation.stagePath);
        if (simulated) *simulated = backend->Microscope();
        composite->Add(std::move(backend));
    }
    return composite;
}
