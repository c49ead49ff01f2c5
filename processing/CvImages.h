#pragma once
// Pictures between Qt and OpenCV: the processing steps work on OpenCV's matrices of BGR
// pixels, the rest of the program on QImage.

#include <QImage>

#include <opencv2/core.hpp>

// A copy of the picture as 8-bit BGR; empty for a null picture.
cv::Mat BgrMatOf(const QImage& picture);
// A copy of an 8-bit BGR matrix as a picture (RGB32).
QImage ImageOfBgr(const cv::Mat& bgr);
