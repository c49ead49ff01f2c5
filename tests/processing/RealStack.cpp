#include "RealStack.h"

#include <QBuffer>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

constexpr double kBlurPerHeight = 0.09; // sigma in pixels a unit of height away from the focus
constexpr double kScalePerStep = 0.002;

cv::Mat MatOf(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_BGR888);
    return cv::Mat(rgb.height(), rgb.width(), CV_8UC3, const_cast<uchar*>(rgb.constBits()),
                   static_cast<std::size_t>(rgb.bytesPerLine()))
        .clone();
}

QImage ImageOf(const cv::Mat& bgr)
{
    return QImage(bgr.data, bgr.cols, bgr.rows, static_cast<qsizetype>(bgr.step), QImage::Format_BGR888).copy();
}

cv::Mat Blurred(const cv::Mat& values, double sigma)
{
    if (sigma < 0.3) return values.clone();
    cv::Mat out;
    cv::GaussianBlur(values, out, cv::Size(), sigma);
    return out;
}

} // namespace

RealStack MakeRealStack(const QString& photograph)
{
    RealStack stack;
    cv::Mat sharp = MatOf(QImage(QStringLiteral(TEST_DATA_DIR "/photos/") + photograph));
    sharp.convertTo(sharp, CV_32FC3);
    const cv::Size size = sharp.size();
    stack.raised = QRect(size.width * 2 / 5, size.height / 4, size.width / 4, size.height / 3);
    stack.farBelow = QRect(0, 0, size.width / 6, size.height);
    cv::Mat raised = cv::Mat::zeros(size, CV_32F), far = cv::Mat::zeros(size, CV_32F);
    raised(cv::Rect(stack.raised.x(), stack.raised.y(), stack.raised.width(), stack.raised.height())).setTo(1);
    far(cv::Rect(stack.farBelow.x(), stack.farBelow.y(), stack.farBelow.width(), stack.farBelow.height())).setTo(1);
    const cv::Mat board = 1 - far - raised;
    cv::Mat truth;
    sharp.convertTo(truth, CV_8UC3);
    stack.truth = ImageOf(truth);

    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 2.5);
    int step = 0;
    for (int focus = -10; focus <= 70; focus += 10, ++step) {
        // Back to front: the far strip, the board, the raised part, each with its outline.
        cv::Mat picture = cv::Mat::zeros(size, CV_32FC3), covered = cv::Mat::zeros(size, CV_32F);
        for (const auto& [mask, height] : {std::pair{far, -50}, std::pair{board, 0}, std::pair{raised, 60}}) {
            const double sigma = std::abs(height - focus) * kBlurPerHeight;
            cv::Mat mask3;
            cv::merge(std::vector<cv::Mat>{mask, mask, mask}, mask3);
            const cv::Mat colour = Blurred(sharp.mul(mask3), sigma), alpha = Blurred(mask, sigma);
            cv::Mat alpha3, keep;
            cv::merge(std::vector<cv::Mat>{alpha, alpha, alpha}, alpha3);
            picture = colour + picture.mul(cv::Scalar::all(1) - alpha3);
        }
        (void)covered;
        // A little larger each step, about the centre.
        const double scale = 1 + kScalePerStep * step;
        const cv::Point2d centre((size.width - 1) / 2.0, (size.height - 1) / 2.0);
        const cv::Matx23d map(scale, 0, centre.x * (1 - scale), 0, scale, centre.y * (1 - scale));
        cv::warpAffine(picture, picture, cv::Mat(map), size, cv::INTER_LINEAR, cv::BORDER_REPLICATE);
        cv::Mat grain(size, CV_32FC3);
        for (auto it = grain.begin<cv::Vec3f>(); it != grain.end<cv::Vec3f>(); ++it)
            *it = cv::Vec3f(static_cast<float>(noise(random)), static_cast<float>(noise(random)),
                            static_cast<float>(noise(random)));
        picture += grain;
        cv::Mat bytes;
        picture.convertTo(bytes, CV_8UC3);
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        ImageOf(bytes).save(&buffer, "JPEG", 85);
        stack.pictures.push_back(QImage::fromData(jpeg, "JPEG"));
    }
    return stack;
}
