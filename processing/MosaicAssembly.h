#pragma once
// The steps shared by every mosaic once its pictures are roughly placed: the offset of two
// overlapping pictures measured on their overlap, the positions that agree best with all
// measured offsets (least squares), how well the placed pictures agree, and the blending of
// the pictures into one, each fading into the next at the seams.

#include <QImage>
#include <QPointF>

#include <opencv2/core.hpp>

#include <functional>
#include <vector>

// A measured offset between two pictures: `second` lies at `first` + offset.
struct MosaicLink {
    int first, second;
    cv::Point2d offset;
    double weight;
};

// Pairs overlapping by less than this share of a field are not measured (too little in
// common to be sure).
constexpr double kMinMosaicOverlap = 0.12;

// The grey picture reduced by a whole factor (INTER_AREA); itself for 1.
cv::Mat ReducedGrey(const cv::Mat& grey, int factor);

// The offset of `second` against `first` (grey pictures of one size), measured on the
// overlap that `guess` implies (reduced to at most 512 pixels a side); false when the
// overlap is too small or the match there is not sure or strays far from the guess.
bool MeasureOverlapOffset(const cv::Mat& first, const cv::Mat& second, cv::Point2d guess, cv::Point2d* measured,
                          double* peak);

// The positions of `count` pictures that best agree with the links (weighted least squares,
// picture 0 fixed at `start[0]`); `start` where the equations leave a picture free (a
// picture no link reaches) or cannot be solved.
std::vector<cv::Point2d> SolveMosaicPositions(int count, const std::vector<MosaicLink>& links,
                                              std::vector<cv::Point2d> start);

// The sum of squared grey differences of two pictures where they overlap at `offset`, and
// the number of pixels compared (`samples`).
double OverlapSquares(const cv::Mat& first, const cv::Mat& second, cv::Point2d offset, double* samples);

struct BlendedMosaic {
    QImage picture;                 // RGB888; null when cancelled, beyond `maxSide` or a picture could not be had
    std::vector<QPointF> positions; // each picture's top-left in `picture`
};
// The pictures (BGR, all of `frame`'s size) at their positions, each multiplied by its gain
// (none: 1), blended with weights that fall to nothing at each picture's edges. The mosaic is
// made a band of rows at a time, asking `picture(i)` for each picture the band needs (so
// pictures can be read from their files again rather than all held); an empty matrix from it
// fails the blend. `progress()` along the way; false cancels.
BlendedMosaic BlendMosaic(int count, const std::function<cv::Mat(int)>& picture, cv::Size frame,
                          const std::vector<cv::Point2d>& positions, const std::vector<double>& gains, int maxSide,
                          const std::function<bool()>& progress = {});
// The memory a blend of a mosaic of `size` takes, besides the pictures it is given.
qint64 BlendBytes(QSize size);
