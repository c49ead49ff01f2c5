#pragma once
// The 88-byte capture format record (a VIDEOINFOHEADER): what the camera is asked for and
// what CapConfig.dat stores, byte for byte, little-endian.

#include <array>
#include <cstdint>
#include <optional>

struct VideoRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const VideoRect&) const = default;
};

struct VideoInfoHeader {
    static constexpr std::size_t kSize = 88;

    VideoRect source;
    VideoRect target;
    std::uint32_t bitRate = 0;
    std::uint32_t bitErrorRate = 0;
    std::int64_t averageTimePerFrame = 0; // 100-nanosecond units
    // BITMAPINFOHEADER
    std::uint32_t headerSize = 40;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0; // four-character code, 0 for uncompressed RGB
    std::uint32_t imageSize = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t colorsUsed = 0;
    std::uint32_t colorsImportant = 0;

    bool operator==(const VideoInfoHeader&) const = default;

    std::array<std::uint8_t, kSize> ToBytes() const;
    static VideoInfoHeader FromBytes(const std::uint8_t* bytes); // reads exactly kSize bytes
};

constexpr std::uint32_t MakeFourCC(char a, char b, char c, char d)
{
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(a)) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(b)) << 8) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(c)) << 16) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(d)) << 24);
}
