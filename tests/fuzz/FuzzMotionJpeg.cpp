// A camera's Motion JPEG frame as the recorder stores it: checked whole, given its Huffman
// tables, and decoded as any player would. A camera may send anything.
#include "media/MotionJpeg.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static std::vector<std::uint8_t> stored;
    static std::vector<std::uint8_t> pixels;
    int width = 0, height = 0;
    if (CompleteMotionJpegFrame(data, size, stored) && stored.size() < 1 << 20)
        DecodeJpeg(stored.data(), stored.size(), pixels, width, height);
    const std::vector<std::uint8_t> sent = WithoutHuffmanTables(data, size);
    HasHuffmanTables(sent.data(), sent.size());
    return 0;
}
