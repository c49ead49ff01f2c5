#include "processing/CvImages.h"

cv::Mat BgrMatOf(const QImage& picture)
{
    if (picture.isNull()) return {};
    const QImage bgr = picture.convertToFormat(QImage::Format_BGR888);
    return cv::Mat(bgr.height(), bgr.width(), CV_8UC3, const_cast<uchar*>(bgr.constBits()),
                   static_cast<std::size_t>(bgr.bytesPerLine()))
        .clone();
}

QImage ImageOfBgr(const cv::Mat& bgr)
{
    return QImage(bgr.data, bgr.cols, bgr.rows, static_cast<qsizetype>(bgr.step), QImage::Format_BGR888)
        .convertToFormat(QImage::Format_RGB32);
}
