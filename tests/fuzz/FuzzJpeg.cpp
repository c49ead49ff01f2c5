// A JPEG file from the picture folder, decoded and drawn into a thumbnail cell.
#include "FuzzSupport.h"
#include "media/ThumbnailDecoder.h"

#include <QImage>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static DecodeBuffer buffer;
    static QImage cell(101, 80, QImage::Format_RGB32);
    if (ReadJpegAsDib(WriteInput("input.jpg", data, size), buffer) == 0) StretchDibOnto(buffer, cell, cell.rect());
    return 0;
}
