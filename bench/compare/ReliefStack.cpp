// Writes a focus stack of the simulated relief slide as a camera gives it (sensor noise, JPEG),
// and the truth in the first picture's geometry, for the comparison with enfuse:
// relief_stack FOLDER FIRST LAST STEP writes FOLDER/frame_NN.png, FOLDER/truth.png (each point
// from the picture focused on its own height) and FOLDER/heights.png (the heights, grey).
#include "RealStack.h"
#include "capture/backend/ReliefSlide.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QImage>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

constexpr int kWidth = 640, kHeight = 512;

QImage ImageOf(const cv::Mat& bgr)
{
    return QImage(bgr.data, bgr.cols, bgr.rows, static_cast<qsizetype>(bgr.step), QImage::Format_BGR888).copy();
}

cv::Mat Render(const ReliefSlide& specimen, int focus)
{
    cv::Mat frame(kHeight, kWidth, CV_8UC3);
    specimen.Render(focus, frame.data, frame.step);
    return frame;
}

// Brought back onto the geometry of the picture at `first`: each picture is a little larger.
cv::Mat OntoFirst(const cv::Mat& frame, int focus, int first)
{
    const double ratio = ReliefSlide::ScaleAt(focus) / ReliefSlide::ScaleAt(first);
    const double cx = (kWidth - 1) / 2.0, cy = (kHeight - 1) / 2.0;
    const cv::Matx23d map(ratio, 0, cx * (1 - ratio), 0, ratio, cy * (1 - ratio));
    cv::Mat warped;
    cv::warpAffine(frame, warped, cv::Mat(map), frame.size(), cv::INTER_CUBIC | cv::WARP_INVERSE_MAP,
                   cv::BORDER_REPLICATE);
    return warped;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 5) return 2;
    const QString folder = arguments[1];
    const int first = arguments[2].toInt(), last = arguments[3].toInt(), step = arguments[4].toInt();
    QDir().mkpath(folder);
    ReliefSlide specimen;
    specimen.Prepare(kWidth, kHeight);
    int n = 0;
    for (int focus = first; focus <= last; focus += step)
        AsACameraSeesIt(ImageOf(Render(specimen, focus)), static_cast<unsigned>(focus))
            .save(folder + QStringLiteral("/frame_%1.png").arg(n++, 2, 10, QLatin1Char('0')));
    // The truth: each point as the picture focused on its own height shows it.
    cv::Mat truth(kHeight, kWidth, CV_8UC3), heights(kHeight, kWidth, CV_8U);
    const double cx = (kWidth - 1) / 2.0, cy = (kHeight - 1) / 2.0;
    for (int focus = 0; focus <= 100; ++focus) {
        const cv::Mat onFirst = OntoFirst(Render(specimen, focus), focus, first);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const double scale = ReliefSlide::ScaleAt(first);
                const int height = specimen.HeightAt(static_cast<int>(std::lround(cx + (x - cx) / scale)),
                                                     static_cast<int>(std::lround(cy + (y - cy) / scale)));
                heights.at<uchar>(y, x) = static_cast<uchar>(height);
                if (height == focus) truth.at<cv::Vec3b>(y, x) = onFirst.at<cv::Vec3b>(y, x);
            }
    }
    QImage(truth.data, kWidth, kHeight, static_cast<qsizetype>(truth.step), QImage::Format_BGR888)
        .save(folder + "/truth.png");
    QImage(heights.data, kWidth, kHeight, static_cast<qsizetype>(heights.step), QImage::Format_Grayscale8)
        .save(folder + "/heights.png");
    return 0;
}
