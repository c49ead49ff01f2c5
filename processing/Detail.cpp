#include "processing/Detail.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace {

// The structure (band-passed brightness, grey levels) below which a picture is blank.
constexpr double kBlankStructure = 1.5;

} // namespace

bool HasNoDetail(const cv::Mat& reducedGrey)
{
    // At a quarter of the size given.
    cv::Mat small, fine, coarse;
    cv::resize(reducedGrey, small, cv::Size(std::max(8, reducedGrey.cols / 4), std::max(8, reducedGrey.rows / 4)), 0, 0,
               cv::INTER_AREA);
    small.convertTo(small, CV_32F);
    cv::GaussianBlur(small, fine, cv::Size(), 0.8);
    cv::GaussianBlur(small, coarse, cv::Size(), 4.0);
    cv::Scalar mean, deviation;
    cv::meanStdDev(fine - coarse, mean, deviation);
    return deviation[0] < kBlankStructure;
}
