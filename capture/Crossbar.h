#pragma once
// The analog inputs in front of a capture source, counted as routes. The engine builds it
// when the source reports analog inputs, counts the routes and applies none.

#include "capture/backend/CaptureBackend.h"

#include <vector>

class CCrossbar {
public:
    explicit CCrossbar(const backend::CaptureSource& source);

    // Number of routes from the video output back to an input.
    int CountRoutes() const { return static_cast<int>(routingList_.size()); }

private:
    std::vector<int> routingList_; // input index of each complete route
};
