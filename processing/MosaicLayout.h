#pragma once
// Where pictures taken while sliding the sample lie against each other, from the pictures
// alone and in whatever order they come. Every pair is matched by phase correlation (after a
// quick first look on smaller copies, which most pairs that do not overlap fail); a
// correlation peak stands for four shifts (a shift is only known modulo the picture's size),
// so each of the highest peaks is read as each of them, and the shift whose overlap agrees
// best (normalised cross-correlation of the pictures' detail) is taken when it is clearly
// best. Each pair found is measured again on its overlap at full size, all are placed
// together by least squares, and a pair that disagrees with the placement of the others is
// dropped until all agree. Pictures tied to none of the rest are left out with the reason;
// a gain per picture, from the overlaps, evens out the exposure.

#include <QString>

#include <opencv2/core.hpp>

#include <functional>
#include <optional>
#include <vector>

struct MosaicLayout {
    struct Placement {
        std::optional<cv::Point2d> position; // its top-left (the first placed at the origin); none: not placed
        QString whyNot;
        double gain = 1; // what its brightness is multiplied by to match its neighbours
    };
    std::vector<Placement> pictures;
    int pairs = 0;        // overlapping pairs that tie the placed pictures together
    double agreement = 0; // their detail's mean correlation over the overlaps, once placed (1: identical)
};

// `greys`: the pictures in grey, all of one size, reduced by the whole factor `reduction`
// (positions come back at full size). `progress(done, total)` along the way; false cancels
// (and an empty layout comes back).
MosaicLayout LayOutMosaic(const std::vector<cv::Mat>& greys, int reduction = 1,
                          const std::function<bool(int, int)>& progress = {});
