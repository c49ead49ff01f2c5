#include "media/MotionJpeg.h"

#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

constexpr std::uint8_t kMarker = 0xFF, kStartOfImage = 0xD8, kEndOfImage = 0xD9, kStartOfScan = 0xDA,
                       kHuffmanTables = 0xC4;

// Where the first scan's marker starts, and whether a Huffman table came before it; none
// when the markers run out or past the end first.
struct Layout {
    std::size_t startOfScan = 0;
    bool hasHuffmanTables = false;
};

std::optional<Layout> ReadLayout(const std::uint8_t* bytes, std::size_t length)
{
    if (length < 4 || bytes[0] != kMarker || bytes[1] != kStartOfImage) return std::nullopt;
    Layout layout;
    std::size_t at = 2;
    while (at + 4 <= length) {
        if (bytes[at] != kMarker) return std::nullopt;
        const std::uint8_t code = bytes[at + 1];
        if (code == kMarker) { // fill byte
            ++at;
            continue;
        }
        if (code == kStartOfScan) {
            layout.startOfScan = at;
            return layout;
        }
        if (code == kEndOfImage) return std::nullopt;
        if ((code >= 0xD0 && code <= 0xD7) || code == 0x01) { // markers without a length
            at += 2;
            continue;
        }
        const std::size_t segment = (static_cast<std::size_t>(bytes[at + 2]) << 8) | bytes[at + 3];
        if (segment < 2) return std::nullopt;
        if (code == kHuffmanTables) layout.hasHuffmanTables = true;
        at += 2 + segment;
    }
    return std::nullopt;
}

// One DHT segment with the four standard tables, taken from libjpeg's own defaults.
std::vector<std::uint8_t> MakeStandardTablesSegment()
{
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    info.in_color_space = JCS_RGB;
    info.input_components = 3;
    jpeg_set_defaults(&info);
    std::vector<std::uint8_t> body;
    auto add = [&body](std::uint8_t classAndId, const JHUFF_TBL* table) {
        body.push_back(classAndId);
        int count = 0;
        for (int i = 1; i <= 16; ++i) {
            body.push_back(table->bits[i]);
            count += table->bits[i];
        }
        body.insert(body.end(), table->huffval, table->huffval + count);
    };
    add(0x00, info.dc_huff_tbl_ptrs[0]);
    add(0x10, info.ac_huff_tbl_ptrs[0]);
    add(0x01, info.dc_huff_tbl_ptrs[1]);
    add(0x11, info.ac_huff_tbl_ptrs[1]);
    jpeg_destroy_compress(&info);
    const std::size_t segmentLength = body.size() + 2;
    body.insert(body.begin(), {kMarker, kHuffmanTables, static_cast<std::uint8_t>(segmentLength >> 8),
                               static_cast<std::uint8_t>(segmentLength & 0xFF)});
    return body;
}

const std::vector<std::uint8_t>& StandardTablesSegment()
{
    static const std::vector<std::uint8_t> segment = MakeStandardTablesSegment();
    return segment;
}

struct ErrorJump {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    bool warned; // corrupt data that libjpeg read past (a cut-short or damaged frame)
};

extern "C" void JumpOnError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->jump, 1);
}

extern "C" void NoteWarnings(j_common_ptr info, int level)
{
    if (level < 0) reinterpret_cast<ErrorJump*>(info->err)->warned = true;
}

// The error manager that jumps back to the caller's setjmp and notes warnings.
jpeg_error_mgr* JumpingErrors(ErrorJump& errors)
{
    jpeg_std_error(&errors.pub);
    errors.pub.error_exit = JumpOnError;
    errors.pub.emit_message = NoteWarnings;
    errors.warned = false;
    return &errors.pub;
}

// libjpeg's error path jumps back here; nothing in this function needs a destructor. The
// encoded bytes are libjpeg's buffer, freed by the caller.
bool EncodeInto(const std::uint8_t* bgr, int width, int height, std::size_t stride, int quality, unsigned char** buffer,
                unsigned long* size)
{
    jpeg_compress_struct info;
    ErrorJump errors;
    info.err = JumpingErrors(errors);
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, buffer, size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.optimize_coding = FALSE; // the standard tables, which a camera's frames rely on
    info.dct_method = JDCT_ISLOW;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row[1] = {const_cast<std::uint8_t*>(bgr + stride * info.next_scanline)};
        jpeg_write_scanlines(&info, row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

bool DecodeInto(const std::uint8_t* bytes, std::size_t length, std::uint8_t* out, std::size_t capacity, int* width,
                int* height, bool sizeOnly)
{
    jpeg_decompress_struct info;
    ErrorJump errors;
    info.err = JumpingErrors(errors);
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes, static_cast<unsigned long>(length));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGR;
    jpeg_calc_output_dimensions(&info);
    *width = static_cast<int>(info.output_width);
    *height = static_cast<int>(info.output_height);
    const std::size_t rowBytes = static_cast<std::size_t>(info.output_width) * 3;
    if (sizeOnly || rowBytes * info.output_height > capacity) {
        jpeg_destroy_decompress(&info);
        return sizeOnly;
    }
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row[1] = {out + rowBytes * info.output_scanline};
        jpeg_read_scanlines(&info, row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return !errors.warned;
}

} // namespace

bool EndsWithJpegEnd(const std::uint8_t* bytes, std::size_t length)
{
    if (!bytes) return false;
    const std::size_t from = length > 1024 ? length - 1024 : 0;
    for (std::size_t i = length; i-- > from + 1;)
        if (bytes[i - 1] == kMarker && bytes[i] == kEndOfImage) return true;
    return false;
}

bool IsWholeJpeg(const std::uint8_t* bytes, std::size_t length)
{
    return bytes && length >= 4 && bytes[0] == kMarker && bytes[1] == kStartOfImage && EndsWithJpegEnd(bytes, length);
}

bool HasHuffmanTables(const std::uint8_t* bytes, std::size_t length)
{
    const std::optional<Layout> layout = ReadLayout(bytes, length);
    return layout && layout->hasHuffmanTables;
}

bool CompleteMotionJpegFrame(const std::uint8_t* bytes, std::size_t length, std::vector<std::uint8_t>& out)
{
    out.clear();
    if (!IsWholeJpeg(bytes, length)) return false;
    const std::optional<Layout> layout = ReadLayout(bytes, length);
    if (!layout) return false;
    if (layout->hasHuffmanTables) {
        out.assign(bytes, bytes + length);
        return true;
    }
    const std::vector<std::uint8_t>& tables = StandardTablesSegment();
    out.reserve(length + tables.size());
    out.insert(out.end(), bytes, bytes + layout->startOfScan);
    out.insert(out.end(), tables.begin(), tables.end());
    out.insert(out.end(), bytes + layout->startOfScan, bytes + length);
    return true;
}

std::vector<std::uint8_t> WithoutHuffmanTables(const std::uint8_t* bytes, std::size_t length)
{
    const std::optional<Layout> layout = ReadLayout(bytes, length);
    if (!layout) return std::vector<std::uint8_t>(bytes, bytes + length);
    std::vector<std::uint8_t> out(bytes, bytes + 2);
    std::size_t at = 2;
    while (at < layout->startOfScan) {
        const std::uint8_t code = bytes[at + 1];
        std::size_t size = 2;
        if (code == kMarker) size = 1;
        else if (!((code >= 0xD0 && code <= 0xD7) || code == 0x01))
            size = 2 + ((static_cast<std::size_t>(bytes[at + 2]) << 8) | bytes[at + 3]);
        if (code != kHuffmanTables) out.insert(out.end(), bytes + at, bytes + at + size);
        at += size;
    }
    out.insert(out.end(), bytes + layout->startOfScan, bytes + length);
    return out;
}

bool EncodeJpeg(const std::uint8_t* bgr, int width, int height, std::size_t stride, int quality,
                std::vector<std::uint8_t>& out)
{
    out.clear();
    if (!bgr || width <= 0 || height <= 0 || stride < static_cast<std::size_t>(width) * 3) return false;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool encoded = EncodeInto(bgr, width, height, stride, std::clamp(quality, 1, 100), &buffer, &size);
    if (encoded && buffer) out.assign(buffer, buffer + size);
    std::free(buffer);
    return encoded && !out.empty();
}

bool DecodeJpeg(const std::uint8_t* bytes, std::size_t length, std::vector<std::uint8_t>& bgr, int& width, int& height)
{
    bgr.clear();
    width = height = 0;
    if (!bytes || length < 4) return false;
    if (!DecodeInto(bytes, length, nullptr, 0, &width, &height, true)) return false;
    if (width <= 0 || height <= 0 ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > 64'000'000)
        return false;
    bgr.resize(static_cast<std::size_t>(width) * 3 * static_cast<std::size_t>(height));
    int decodedWidth = 0, decodedHeight = 0;
    if (!DecodeInto(bytes, length, bgr.data(), bgr.size(), &decodedWidth, &decodedHeight, false)) {
        bgr.clear();
        return false;
    }
    return true;
}
