#include "BackendFactory.h"

#include "CompositeBackend.h"
#include "SimulatedBackend.h"
#include "V4l2Backend.h"

std::unique_ptr<backend::CaptureBackend> CreateCaptureBackend(bool withSimulatedMicroscope, Slide slide)
{
    auto composite = std::make_unique<backend::CompositeBackend>();
    const backend::KernelCalls calls = backend::RealKernelCalls();
    auto nodes = std::make_unique<backend::UdevVideoNodes>(
        [calls](const std::string& devnode) { return backend::QueryDeviceCaps(calls, devnode); });
    composite->Add(std::make_unique<backend::V4l2Backend>(calls, std::move(nodes), true));
    if (withSimulatedMicroscope) composite->Add(std::make_unique<backend::SimulatedBackend>(true, slide));
    return composite;
}
