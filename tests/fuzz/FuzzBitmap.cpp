// A bitmap file from the picture folder, decoded and drawn into a thumbnail cell.
#include "FuzzSupport.h"
#include "media/ThumbnailDecoder.h"

#include <QImage>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static DecodeBuffer buffer;
    static QImage cell(101, 80, QImage::Format_RGB32);
    if (LoadBitmapFileAsDib(WriteInput("input.bmp", data, size), buffer)) {
        StretchDibOnto(buffer, cell, cell.rect());
        StretchDibOnto(buffer, cell, QRect(-5, 7, 300, 3));
    }
    return 0;
}
