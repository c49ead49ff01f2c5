#include "media/ThumbnailDecoder.h"

#include "media/PictureFile.h"

#include "framework/RegularFile.h"
#include "media/AviInput.h"
#include "media/FfmpegHandles.h"
#include "media/ScaledPicture.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <optional>
#include <unistd.h>
#include <vector>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
#include <libavutil/imgutils.h>
}

namespace {

template <typename T>
T ReadLittle(const std::uint8_t* p)
{
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) v |= static_cast<std::uint64_t>(p[i]) << (8 * i);
    return static_cast<T>(v);
}

template <typename T>
void WriteLittle(std::uint8_t* p, T value)
{
    auto v = static_cast<std::uint64_t>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

struct DibInfo {
    std::int32_t width = 0;
    std::int32_t height = 0; // positive: bottom-up
    std::uint16_t bitCount = 0;
};

// The header at the start of `bytes`, when it describes a picture we can draw whose rows
// lie within `available` bytes.
bool ParseDib(const std::uint8_t* bytes, std::size_t available, DibInfo& info)
{
    if (available < kDibHeaderSize || ReadLittle<std::uint32_t>(bytes) != kDibHeaderSize) return false;
    info.width = ReadLittle<std::int32_t>(bytes + 4);
    info.height = ReadLittle<std::int32_t>(bytes + 8);
    info.bitCount = ReadLittle<std::uint16_t>(bytes + 14);
    const std::uint32_t compression = ReadLittle<std::uint32_t>(bytes + 16);
    if (compression != 0 || (info.bitCount != 24 && info.bitCount != 8)) return false;
    if (info.width <= 0 || info.height == 0 || info.width > 65535 || info.height > 65535 || info.height < -65535)
        return false;
    const std::size_t rows = static_cast<std::size_t>(info.height < 0 ? -info.height : info.height);
    return DibStride(info.width, info.bitCount) * rows <= available - kDibHeaderSize;
}

// ---- JPEG ------------------------------------------------------------------------------

constexpr std::uint64_t kJpegMaxPixels = 64ull * 1000 * 1000;
constexpr long kJpegMemoryLimit = 256L * 1024 * 1024;

struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    bool cutShort;
};

extern "C" void JpegErrorExit(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegErrorManager*>(info->err)->jump, 1);
}

// Warnings are not shown; a file that ends before its picture does counts as broken.
extern "C" void JpegEmitMessage(j_common_ptr info, int level)
{
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF)
        reinterpret_cast<JpegErrorManager*>(info->err)->cutShort = true;
}

// libjpeg's error path jumps back here; nothing in this function needs a destructor.
int DecodeJpeg(std::FILE* file, std::uint8_t* buffer, std::size_t capacity)
{
    jpeg_decompress_struct info;
    JpegErrorManager errors;
    info.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = JpegErrorExit;
    errors.pub.emit_message = JpegEmitMessage;
    errors.cutShort = false;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return -1;
    }
    jpeg_create_decompress(&info);
    // libjpeg may use this much for one picture and fails cleanly beyond it.
    info.mem->max_memory_to_use = kJpegMemoryLimit;
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    // A picture declaring an absurd size is refused before anything is allocated for it
    // (a progressive one would need its full-size coefficients, however it is reduced).
    if (static_cast<std::uint64_t>(info.image_width) * info.image_height > kJpegMaxPixels) {
        jpeg_destroy_decompress(&info);
        return -1;
    }
    if (info.num_components == 1) {
        info.out_color_space = JCS_GRAYSCALE;
    } else {
        info.out_color_space = JCS_RGB; // CMYK and others are converted or rejected here
    }
    // Reduce a picture that would not fit the buffer (1/2, 1/4, 1/8).
    for (unsigned denominator = 1; denominator <= 8; denominator *= 2) {
        info.scale_num = 1;
        info.scale_denom = denominator;
        jpeg_calc_output_dimensions(&info);
        const std::size_t need =
            kDibHeaderSize +
            DibStride(static_cast<int>(info.output_width), 8 * info.out_color_components) * info.output_height;
        if (need <= capacity) break;
        if (denominator == 8) {
            jpeg_destroy_decompress(&info);
            return -1;
        }
    }
    jpeg_start_decompress(&info);
    const int width = static_cast<int>(info.output_width);
    const int height = static_cast<int>(info.output_height);
    const int components = info.output_components;
    const std::size_t stride = DibStride(width, 8 * components);
    WriteDibHeader(buffer, width, height, static_cast<std::uint16_t>(8 * components), 0);
    while (info.output_scanline < info.output_height) {
        std::uint8_t* row = buffer + kDibHeaderSize + stride * (info.output_height - info.output_scanline - 1);
        JSAMPROW rows[1] = {row};
        jpeg_read_scanlines(&info, rows, 1);
        if (components == 3)
            for (int x = 0; x < width; ++x) std::swap(row[x * 3], row[x * 3 + 2]); // RGB -> BGR
        std::memset(row + static_cast<std::size_t>(width) * components, 0,
                    stride - static_cast<std::size_t>(width) * components);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return errors.cutShort ? -1 : 0;
}

// An 8-bit bitmap file: its pixels are indices into the colour table after the header.
// They are looked up into 24-bit rows, so the list draws the colours, not the indices.
bool ExpandPaletteBitmap(const std::uint8_t* file, std::size_t size, DecodeBuffer& buffer)
{
    if (size < 14 + kDibHeaderSize) return false;
    const std::uint8_t* header = file + 14;
    if (ReadLittle<std::uint32_t>(header) != kDibHeaderSize || ReadLittle<std::uint32_t>(header + 16) != 0)
        return false;
    const std::int32_t width = ReadLittle<std::int32_t>(header + 4);
    const std::int32_t height = ReadLittle<std::int32_t>(header + 8);
    if (width <= 0 || height == 0 || width > 65535 || height > 65535 || height < -65535) return false;
    const std::size_t rows = static_cast<std::size_t>(height < 0 ? -static_cast<std::int64_t>(height) : height);
    std::uint32_t colours = ReadLittle<std::uint32_t>(header + 32);
    if (colours == 0 || colours > 256) colours = 256;
    const std::size_t paletteAt = 14 + kDibHeaderSize;
    const std::size_t available = size > paletteAt ? (size - paletteAt) / 4 : 0;
    colours = static_cast<std::uint32_t>(std::min<std::size_t>(colours, available));
    const std::size_t pixelsAt = ReadLittle<std::uint32_t>(file + 10);
    const std::size_t sourceStride = DibStride(width, 8);
    if (pixelsAt < paletteAt || pixelsAt > size || sourceStride * rows > size - pixelsAt) return false;
    const std::size_t stride = DibStride(width, 24);
    if (kDibHeaderSize + stride * rows > DecodeBuffer::Size()) return false;

    WriteDibHeader(buffer.Data(), width, height, 24, static_cast<std::uint32_t>(stride * rows));
    for (std::size_t y = 0; y < rows; ++y) {
        const std::uint8_t* src = file + pixelsAt + sourceStride * y;
        std::uint8_t* dst = buffer.Data() + kDibHeaderSize + stride * y;
        std::memset(dst, 0, stride);
        for (std::int32_t x = 0; x < width; ++x) {
            const std::uint8_t index = src[x];
            if (index >= colours) continue; // outside the table: black
            std::memcpy(dst + 3 * static_cast<std::size_t>(x), file + paletteAt + 4 * static_cast<std::size_t>(index),
                        3);
        }
    }
    return true;
}

bool ReadAt(int fd, std::uint8_t* out, std::size_t length, std::uint64_t offset)
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(fd, out + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

// A bitmap too large for the buffer, read row by row and reduced by the smallest whole
// factor that fits: every n-th pixel of every n-th row, into 24-bit rows in the file's own
// row order. 24-bit and 8-bit (palette) files; anything else is refused.
bool LoadLargeBitmapReduced(const QString& path, qint64 fileSize, DecodeBuffer& buffer)
{
    const OwnedFd fd = OpenRegularFile(path);
    if (!fd.IsValid()) return false;
    const int rawFd = fd.Get();
    std::uint8_t header[14 + kDibHeaderSize];
    if (!ReadAt(rawFd, header, sizeof header, 0)) return false;
    const std::uint8_t* info = header + 14;
    if (ReadLittle<std::uint32_t>(info) != kDibHeaderSize || ReadLittle<std::uint32_t>(info + 16) != 0) return false;
    const std::int32_t width = ReadLittle<std::int32_t>(info + 4);
    const std::int32_t height = ReadLittle<std::int32_t>(info + 8);
    const std::uint16_t bitCount = ReadLittle<std::uint16_t>(info + 14);
    if (bitCount != 24 && bitCount != 8) return false;
    if (width <= 0 || height == 0 || width > 65535 || height > 65535 || height < -65535) return false;
    const std::size_t rows = static_cast<std::size_t>(height < 0 ? -static_cast<std::int64_t>(height) : height);
    const std::size_t sourceStride = DibStride(width, bitCount);
    const std::uint64_t pixelsAt = ReadLittle<std::uint32_t>(header + 10);
    if (pixelsAt < sizeof header || pixelsAt + sourceStride * rows > static_cast<std::uint64_t>(fileSize)) return false;

    std::uint8_t palette[256 * 4] = {};
    std::uint32_t colours = 0;
    if (bitCount == 8) {
        colours = ReadLittle<std::uint32_t>(info + 32);
        if (colours == 0 || colours > 256) colours = 256;
        colours = static_cast<std::uint32_t>(std::min<std::uint64_t>(colours, (pixelsAt - sizeof header) / 4));
        if (colours > 0 && !ReadAt(rawFd, palette, colours * 4, sizeof header)) return false;
    }

    std::size_t factor = 1;
    auto reduced = [&](std::size_t n, std::size_t length) { return (length + n - 1) / n; };
    while (kDibHeaderSize + DibStride(static_cast<int>(reduced(factor, static_cast<std::size_t>(width))), 24) *
                                reduced(factor, rows) >
           DecodeBuffer::Size())
        ++factor;
    const int outWidth = static_cast<int>(reduced(factor, static_cast<std::size_t>(width)));
    const std::size_t outRows = reduced(factor, rows);
    const std::size_t stride = DibStride(outWidth, 24);
    std::vector<std::uint8_t> row(sourceStride);
    for (std::size_t y = 0; y < outRows; ++y) {
        if (!ReadAt(rawFd, row.data(), sourceStride, pixelsAt + sourceStride * y * factor)) return false;
        std::uint8_t* dst = buffer.Data() + kDibHeaderSize + stride * y;
        std::memset(dst, 0, stride);
        for (int x = 0; x < outWidth; ++x) {
            const std::size_t sx = static_cast<std::size_t>(x) * factor;
            if (bitCount == 24) {
                std::memcpy(dst + 3 * static_cast<std::size_t>(x), row.data() + 3 * sx, 3);
            } else if (row[sx] < colours) {
                std::memcpy(dst + 3 * static_cast<std::size_t>(x), palette + 4 * static_cast<std::size_t>(row[sx]), 3);
            }
        }
    }
    const auto outHeight = static_cast<std::int32_t>(height < 0 ? -static_cast<std::int64_t>(outRows)
                                                                : static_cast<std::int64_t>(outRows));
    WriteDibHeader(buffer.Data(), outWidth, outHeight, 24, static_cast<std::uint32_t>(stride * outRows));
    return true;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

void WriteDibHeader(std::uint8_t* out, std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                    std::uint32_t imageSize)
{
    std::memset(out, 0, kDibHeaderSize);
    WriteLittle<std::uint32_t>(out, kDibHeaderSize);
    WriteLittle<std::int32_t>(out + 4, width);
    WriteLittle<std::int32_t>(out + 8, height);
    WriteLittle<std::uint16_t>(out + 12, 1);
    WriteLittle<std::uint16_t>(out + 14, bitCount);
    WriteLittle<std::uint32_t>(out + 20, imageSize);
}

bool LoadBitmapFileAsDib(const QString& path, DecodeBuffer& buffer)
{
    qint64 fileSize = 0;
    if (!IsReadableRegularFile(path, &fileSize) || fileSize <= 40) return false;
    // A bitmap larger than the buffer (a picture from another camera) is reduced as it is read.
    if (fileSize > static_cast<qint64>(DecodeBuffer::Size()) + 14)
        return LoadLargeBitmapReduced(path, fileSize, buffer);
    const std::optional<QByteArray> content = ReadRegularFile(path, static_cast<qint64>(DecodeBuffer::Size()) + 14);
    if (!content) return false;
    const QByteArray& bytes = *content;
    const qint64 size = bytes.size();
    if (size <= 40) return false;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    if (size >= 14 + 16 && ReadLittle<std::uint16_t>(data + 14 + 14) == 8)
        return ExpandPaletteBitmap(data, static_cast<std::size_t>(size), buffer);
    std::memcpy(buffer.Data(), data + 14, static_cast<std::size_t>(size - 14));
    DibInfo info;
    return ParseDib(buffer.Data(), static_cast<std::size_t>(size - 14), info) && info.bitCount == 24;
}

int ReadJpegAsDib(const QString& path, DecodeBuffer& buffer)
{
    OwnedFd fd = OpenRegularFile(path);
    if (!fd.IsValid()) return errno != 0 ? errno : -1;
    std::unique_ptr<std::FILE, FileCloser> file(::fdopen(fd.Get(), "rb"));
    if (!file) return errno != 0 ? errno : -1;
    fd.Release(); // the stream closes it now
    return DecodeJpeg(file.get(), buffer.Data(), DecodeBuffer::Size());
}

bool LoadVideoFirstFrameAsDib(const QString& path, DecodeBuffer& buffer)
{
    const std::unique_ptr<AviInput> input = AviInput::Open(path);
    if (!input) return false;
    AVFormatContext* format = input->Format();
    if (avformat_find_stream_info(format, nullptr) < 0) return false;

    // The first video stream, wherever it stands among the streams.
    int streamIndex = -1;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            streamIndex = static_cast<int>(i);
            break;
        }
    }
    if (streamIndex < 0) return false;
    AVStream* stream = format->streams[streamIndex];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) return false;
    CodecContextPtr decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return false;

    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!packet || !frame) return false;
    bool decoded = false;
    bool draining = false;
    while (!decoded) {
        if (!draining) {
            const int read = av_read_frame(format, packet.get());
            if (read < 0) {
                draining = true;
                avcodec_send_packet(decoder.get(), nullptr);
            } else {
                const bool ours = packet->stream_index == streamIndex;
                const int sent = ours ? avcodec_send_packet(decoder.get(), packet.get()) : 0;
                av_packet_unref(packet.get());
                if (sent < 0 && sent != AVERROR(EAGAIN)) return false;
                if (!ours) continue;
            }
        }
        const int received = avcodec_receive_frame(decoder.get(), frame.get());
        if (received == 0) decoded = true;
        else if (received == AVERROR_EOF || (draining && received != AVERROR(EAGAIN))) return false;
        else if (draining && received == AVERROR(EAGAIN)) return false;
    }
    if (frame->width <= 0 || frame->height <= 0) return false;

    // Reduce a frame that would not fit the buffer, keeping its shape.
    int width = frame->width, height = frame->height;
    while (kDibHeaderSize + DibStride(width, 24) * static_cast<std::size_t>(height) > DecodeBuffer::Size()) {
        width = std::max(1, width / 2);
        height = std::max(1, height / 2);
    }
    ScalerPtr scaler(sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), width,
                                    height, AV_PIX_FMT_BGR24, SWS_POINT, nullptr, nullptr, nullptr));
    if (!scaler) return false;
    ScaledPicture scaled;
    if (!scaled.Scale(scaler.get(), frame.get(), width, height, AV_PIX_FMT_BGR24)) return false;
    const std::size_t stride = DibStride(width, 24);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    std::uint8_t* pixels = buffer.Data() + kDibHeaderSize;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* dst = pixels + stride * static_cast<std::size_t>(height - 1 - y); // bottom-up
        std::memcpy(dst, scaled.Row(y), rowBytes);
        std::memset(dst + rowBytes, 0, stride - rowBytes);
    }
    WriteDibHeader(buffer.Data(), width, height, 24,
                   static_cast<std::uint32_t>(stride * static_cast<std::size_t>(height)));
    return true;
}

QImage DibToImage(const DecodeBuffer& buffer)
{
    DibInfo info;
    if (!ParseDib(buffer.Data(), DecodeBuffer::Size(), info)) return {};
    const bool bottomUp = info.height > 0;
    const int height = bottomUp ? info.height : -info.height;
    const std::size_t stride = DibStride(info.width, info.bitCount);
    const std::uint8_t* pixels = buffer.Data() + kDibHeaderSize;
    QImage image(info.width, height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* src = pixels + stride * static_cast<std::size_t>(bottomUp ? height - 1 - y : y);
        auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
        if (info.bitCount == 24) {
            for (int x = 0; x < info.width; ++x) dst[x] = qRgb(src[x * 3 + 2], src[x * 3 + 1], src[x * 3]);
        } else {
            for (int x = 0; x < info.width; ++x) dst[x] = qRgb(src[x], src[x], src[x]); // greyscale shown as grey
        }
    }
    return image;
}

namespace {

// The decoded picture stretched over `cell`, nearest pixel.
bool StretchDibInto(const DibInfo& info, const DecodeBuffer& buffer, QImage& target, const QRect& cell, int height,
                    bool bottomUp)
{
    const QRect area = cell.intersected(target.rect());
    if (area.isEmpty()) return true;
    const std::size_t stride = DibStride(info.width, info.bitCount);
    const std::uint8_t* pixels = buffer.Data() + kDibHeaderSize;
    const int bytesPerPixel = info.bitCount / 8;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const int sy = static_cast<int>(static_cast<long long>(y - cell.top()) * height / cell.height());
        const std::uint8_t* src = pixels + stride * static_cast<std::size_t>(bottomUp ? height - 1 - sy : sy);
        auto* dst = reinterpret_cast<QRgb*>(target.scanLine(y));
        for (int x = area.left(); x <= area.right(); ++x) {
            const int sx = static_cast<int>(static_cast<long long>(x - cell.left()) * info.width / cell.width());
            const std::uint8_t* p = src + static_cast<std::size_t>(sx) * bytesPerPixel;
            dst[x] = bytesPerPixel == 3 ? qRgb(p[2], p[1], p[0]) : qRgb(p[0], p[0], p[0]);
        }
    }
    return true;
}

} // namespace

bool StretchDibOnto(const DecodeBuffer& buffer, QImage& target, const QRect& cell)
{
    DibInfo info;
    if (!ParseDib(buffer.Data(), DecodeBuffer::Size(), info)) return false;
    if (target.format() != QImage::Format_RGB32 && target.format() != QImage::Format_ARGB32) return false;
    if (cell.intersected(target.rect()).isEmpty() || cell.width() <= 0 || cell.height() <= 0) return true;
    const bool bottomUp = info.height > 0;
    const int height = bottomUp ? info.height : -info.height;
    // Stills of the usual shapes fill the cell; a much wider or taller picture (a mosaic)
    // keeps its shape, centred on a dark cell, rather than being squashed.
    const double shape =
        (static_cast<double>(info.width) / height) / (static_cast<double>(cell.width()) / cell.height());
    QRect fitted = cell;
    if (shape > 1.25 || shape < 0.8) {
        const QSize size = QSize(info.width, height).scaled(cell.size(), Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        fitted = QRect(cell.left() + (cell.width() - size.width()) / 2,
                       cell.top() + (cell.height() - size.height()) / 2, size.width(), size.height());
        const QRect dark = cell.intersected(target.rect());
        for (int y = dark.top(); y <= dark.bottom(); ++y)
            std::fill_n(reinterpret_cast<QRgb*>(target.scanLine(y)) + dark.left(), dark.width(), qRgb(24, 24, 24));
    }
    return StretchDibInto(info, buffer, target, fitted, height, bottomUp);
}

bool LoadPictureAsDib(const QString& path, DecodeBuffer& buffer)
{
    QImage picture = ReadPictureFile(path, nullptr);
    if (picture.isNull()) return false;
    // Reduced to what the buffer holds, as large bitmaps are.
    while (kDibHeaderSize + DibStride(picture.width(), 24) * static_cast<std::size_t>(picture.height()) > buffer.Size())
        picture = picture.scaled(std::max(1, picture.width() / 2), std::max(1, picture.height() / 2),
                                 Qt::IgnoreAspectRatio, Qt::FastTransformation);
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    const int width = rgb.width(), height = rgb.height();
    const std::size_t stride = DibStride(width, 24);
    WriteDibHeader(buffer.Data(), width, height, 24,
                   static_cast<std::uint32_t>(stride * static_cast<std::size_t>(height)));
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = buffer.Data() + kDibHeaderSize + stride * static_cast<std::size_t>(height - 1 - y);
        const uchar* source = rgb.constScanLine(y);
        for (int x = 0; x < width; ++x) { // RGB -> BGR
            row[x * 3] = source[x * 3 + 2];
            row[x * 3 + 1] = source[x * 3 + 1];
            row[x * 3 + 2] = source[x * 3];
        }
        std::memset(row + static_cast<std::size_t>(width) * 3, 0, stride - static_cast<std::size_t>(width) * 3);
    }
    return true;
}
