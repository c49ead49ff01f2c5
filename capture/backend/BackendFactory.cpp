#include "BackendFactory.h"

#include "CompositeBackend.h"
#include "SimulatedBackend.h"
#include "V4l2Backend.h"

std::unique_ptr<backend::CaptureBackend> CreateCaptureBackend(bool withSimulatedMicroscope)
{
    auto composite = std::make_unique<backend::CompositeBackend>();
    composite->Add(std::make_unique<backend::V4l2Backend>(backend::RealKernelCalls(),
                                                          std::make_unique<backend::UdevVideoNodes>(), true));
    if (withSimulatedMicroscope) composite->Add(std::make_unique<backend::SimulatedBackend>(true));
    return composite;
}
