// An ImageJ overlay as a TIFF carries it: the sizes of its parts (tag 50838) and the parts
// (tag 50839), and each ROI alone. Any TIFF may hold anything there.
// Input: a byte for the file's byte order, a byte for how many sizes follow (32-bit,
// little-endian), then the metadata bytes.
#include "media/ImageJOverlay.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    const bool bigEndian = data[0] & 1;
    const std::size_t sizes = data[1];
    if (size < 2 + 4 * sizes) return 0;
    std::vector<std::uint32_t> counts(sizes);
    for (std::size_t i = 0; i < sizes; ++i) std::memcpy(&counts[i], data + 2 + 4 * i, 4);
    const QByteArray bytes(reinterpret_cast<const char*>(data + 2 + 4 * sizes),
                           static_cast<qsizetype>(size - 2 - 4 * sizes));
    for (const OverlayShape& shape : DecodeImageJOverlay(counts, bytes, bigEndian)) {
        // What is read is written again as it would be saved.
        const QByteArray again = EncodeImageJRoi(shape);
        (void)again;
    }
    DecodeImageJRoi(bytes);
    return 0;
}
