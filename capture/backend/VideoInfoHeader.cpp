#include "capture/backend/VideoInfoHeader.h"

#include <cstring>

namespace {

class Writer {
public:
    explicit Writer(std::uint8_t* out) : out_(out) {}
    template <typename T>
    void Put(T value)
    {
        auto bits = static_cast<std::uint64_t>(value);
        for (std::size_t i = 0; i < sizeof(T); ++i) *out_++ = static_cast<std::uint8_t>(bits >> (8 * i));
    }

private:
    std::uint8_t* out_;
};

class Reader {
public:
    explicit Reader(const std::uint8_t* in) : in_(in) {}
    template <typename T>
    T Get()
    {
        std::uint64_t bits = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i) bits |= static_cast<std::uint64_t>(*in_++) << (8 * i);
        return static_cast<T>(bits);
    }

private:
    const std::uint8_t* in_;
};

} // namespace

std::array<std::uint8_t, VideoInfoHeader::kSize> VideoInfoHeader::ToBytes() const
{
    std::array<std::uint8_t, kSize> bytes{};
    Writer w(bytes.data());
    for (const VideoRect* r : {&source, &target}) {
        w.Put(r->left);
        w.Put(r->top);
        w.Put(r->right);
        w.Put(r->bottom);
    }
    w.Put(bitRate);
    w.Put(bitErrorRate);
    w.Put(averageTimePerFrame);
    w.Put(headerSize);
    w.Put(width);
    w.Put(height);
    w.Put(planes);
    w.Put(bitCount);
    w.Put(compression);
    w.Put(imageSize);
    w.Put(xPelsPerMeter);
    w.Put(yPelsPerMeter);
    w.Put(colorsUsed);
    w.Put(colorsImportant);
    return bytes;
}

VideoInfoHeader VideoInfoHeader::FromBytes(const std::uint8_t* bytes)
{
    VideoInfoHeader h;
    Reader r(bytes);
    for (VideoRect* rect : {&h.source, &h.target}) {
        rect->left = r.Get<std::int32_t>();
        rect->top = r.Get<std::int32_t>();
        rect->right = r.Get<std::int32_t>();
        rect->bottom = r.Get<std::int32_t>();
    }
    h.bitRate = r.Get<std::uint32_t>();
    h.bitErrorRate = r.Get<std::uint32_t>();
    h.averageTimePerFrame = r.Get<std::int64_t>();
    h.headerSize = r.Get<std::uint32_t>();
    h.width = r.Get<std::int32_t>();
    h.height = r.Get<std::int32_t>();
    h.planes = r.Get<std::uint16_t>();
    h.bitCount = r.Get<std::uint16_t>();
    h.compression = r.Get<std::uint32_t>();
    h.imageSize = r.Get<std::uint32_t>();
    h.xPelsPerMeter = r.Get<std::int32_t>();
    h.yPelsPerMeter = r.Get<std::int32_t>();
    h.colorsUsed = r.Get<std::uint32_t>();
    h.colorsImportant = r.Get<std::uint32_t>();
    return h;
}
