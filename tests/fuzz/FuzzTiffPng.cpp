// A TIFF or PNG from the picture folder or the command line: read with what it says about
// its scale, and written again as a TIFF. The first byte chooses the kind.
#include "FuzzSupport.h"
#include "media/PictureFile.h"
#include "media/PictureWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    EnsureApplication();
    if (size == 0) return 0;
    const QString path = WriteInput(data[0] & 1 ? "input.png" : "input.tif", data + 1, size - 1);
    PictureMetadata metadata;
    const QImage picture = ReadPictureFile(path, nullptr, &metadata);
    if (!picture.isNull() && static_cast<qint64>(picture.width()) * picture.height() <= 4096 * 4096)
        WritePictureFile(WriteInput("again.tif", nullptr, 0), picture, metadata, nullptr);
    return 0;
}
