#include "BackendFactory.h"

#include "CompositeBackend.h"
#include "SimulatedBackend.h"

std::unique_ptr<backend::CaptureBackend> CreateCaptureBackend(bool withSimulatedMicroscope)
{
    auto composite = std::make_unique<backend::CompositeBackend>();
    if (withSimulatedMicroscope) composite->Add(std::make_unique<backend::SimulatedBackend>(true));
    return composite;
}
