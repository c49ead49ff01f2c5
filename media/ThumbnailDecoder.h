#pragma once
// Decoders for the thumbnail list: a bitmap file, a JPEG file and the first frame of an AVI
// video, each into the one decode buffer as a device-independent bitmap: a 40-byte
// BITMAPINFOHEADER followed by bottom-up rows padded to 4 bytes (24-bit BGR, or 8-bit grey
// for greyscale JPEG files). Nothing is ever written past the buffer: a picture too large
// for it is reduced while it is read.

#include <QImage>
#include <QRect>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>

constexpr std::size_t kDecodeBufferSize = 5242880;
constexpr std::size_t kDibHeaderSize = 40;

class DecodeBuffer {
public:
    DecodeBuffer() : bytes_(std::make_unique<std::uint8_t[]>(kDecodeBufferSize)) {}
    std::uint8_t* Data() { return bytes_.get(); }
    const std::uint8_t* Data() const { return bytes_.get(); }
    static constexpr std::size_t Size() { return kDecodeBufferSize; }

private:
    std::unique_ptr<std::uint8_t[]> bytes_;
};

// Bitmap file: everything after its 14-byte file header, or, for a file larger than the
// buffer, its pixels reduced by a whole factor. False for a file of 40 bytes or less or one
// whose header does not describe its own pixels.
bool LoadBitmapFileAsDib(const QString& path, DecodeBuffer& buffer);

// JPEG through libjpeg: 0 on success, else the system's error code, or -1.
int ReadJpegAsDib(const QString& path, DecodeBuffer& buffer);

// A TIFF or PNG picture (any the program reads), reduced by halves until it fits.
bool LoadPictureAsDib(const QString& path, DecodeBuffer& buffer);

// The first frame of the first video stream, as 24-bit bottom-up rows.
bool LoadVideoFirstFrameAsDib(const QString& path, DecodeBuffer& buffer);

// The decoded picture as an image (nearest-pixel stretching happens when it is drawn);
// a null image when the buffer does not hold a 24-bit or 8-bit picture that fits in it.
QImage DibToImage(const DecodeBuffer& buffer);

// Stretches the decoded picture over `cell` of `target` (an RGB32 image), nearest pixel,
// aspect not kept. False when the buffer holds no drawable picture.
bool StretchDibOnto(const DecodeBuffer& buffer, QImage& target, const QRect& cell);

// Writes a BITMAPINFOHEADER at `out`.
void WriteDibHeader(std::uint8_t* out, std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                    std::uint32_t imageSize);
inline std::size_t DibStride(int width, int bitCount)
{
    return ((static_cast<std::size_t>(width) * static_cast<std::size_t>(bitCount) + 31) / 32) * 4;
}
