#pragma once
// Whether a picture shows anything: clear glass, an empty area of the slide or a field far out
// of focus has nothing to follow, match or judge the sharpness of.

#include <opencv2/core.hpp>

// True when a grey picture (reduced to at most 640 pixels across) has no detail: its fine
// structure, with the lamp's slow changes taken out and at a scale where sensor noise has
// averaged away, is below what noise leaves.
bool HasNoDetail(const cv::Mat& reducedGrey);
