#pragma once
// The capture back end the program runs with: the computer's V4L2 cameras, plus the
// simulated microscope when asked for.

#include "capture/backend/CaptureBackend.h"
#include "capture/backend/SlideRenderer.h"

#include <memory>

namespace backend {
class SimulatedDevice;
}

// What the simulated microscope shows, from the command line.
struct SimulationOptions {
    bool enabled = false;
    Slide slide = Slide::Tissue;
    bool unevenLamp = false;
    bool blankField = false;
    bool motionJpeg = true;  // the camera sends Motion JPEG, as a USB 2 microscope does
    bool focusSweep = false; // the focus knob turns through its travel by itself
    bool stagePath = false;  // the stage moves along its scanning path by itself
};

// `simulated` receives the simulated microscope, when there is one, for its controls.
std::unique_ptr<backend::CaptureBackend>
CreateCaptureBackend(const SimulationOptions& simulation,
                     std::shared_ptr<backend::SimulatedDevice>* simulated = nullptr);
