#pragma once
// The capture back end the program runs with: the computer's V4L2 cameras, plus the
// simulated microscope when asked for.

#include "CaptureBackend.h"
#include "SlideRenderer.h"

#include <memory>

std::unique_ptr<backend::CaptureBackend> CreateCaptureBackend(bool withSimulatedMicroscope, Slide slide = Slide::Tissue);
