#include "media/BmpFile.h"

std::vector<std::uint8_t> BmpHeaders(std::int32_t width, std::int32_t height, std::uint32_t imageSize)
{
    std::vector<std::uint8_t> bytes(54, 0);
    auto put = [&bytes](std::size_t at, std::uint64_t value, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    put(0, 0x4D42, 2);
    put(2, imageSize + 54u, 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, static_cast<std::uint32_t>(width), 4);
    put(22, static_cast<std::uint32_t>(height), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    put(34, imageSize, 4);
    return bytes;
}

QByteArray BmpFile(const Frame& frame)
{
    // A bitmap file's rows go bottom-up: the frame's rows in the other order, as they are.
    const std::size_t bytes = frame.Bytes();
    const std::vector<std::uint8_t> headers = BmpHeaders(frame.width, frame.height, static_cast<std::uint32_t>(bytes));
    QByteArray file;
    file.reserve(static_cast<qsizetype>(54 + bytes));
    file.append(reinterpret_cast<const char*>(headers.data()), 54);
    for (int y = frame.height - 1; y >= 0; --y)
        file.append(reinterpret_cast<const char*>(frame.Row(y)), static_cast<qsizetype>(frame.stride));
    return file;
}
