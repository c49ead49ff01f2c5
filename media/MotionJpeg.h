#pragma once
// Motion JPEG frames as cameras send them, and plain JPEG coding with libjpeg. A UVC camera
// leaves the Huffman tables out of its frames (every frame uses the standard ones), and a
// frame cut short on the wire has no end-of-image marker; a frame stored in a file must be
// whole and carry its tables, so any JPEG decoder reads it.

#include <cstddef>
#include <cstdint>
#include <vector>

// The frame starts with its start-of-image marker and ends with its end-of-image marker
// (cameras may pad a few bytes after it).
bool IsWholeJpeg(const std::uint8_t* bytes, std::size_t length);
// The frame ends with its end-of-image marker, whatever it starts with.
bool EndsWithJpegEnd(const std::uint8_t* bytes, std::size_t length);

// Whether the frame defines any Huffman table before its first scan.
bool HasHuffmanTables(const std::uint8_t* bytes, std::size_t length);

// `out` becomes the frame as it is stored: the same bytes, with the standard Huffman tables
// put in before the first scan when the frame has none. False (and `out` empty) when the
// frame is not a whole JPEG or its markers do not lead to a scan. `out` keeps its capacity
// from frame to frame.
bool CompleteMotionJpegFrame(const std::uint8_t* bytes, std::size_t length, std::vector<std::uint8_t>& out);

// The frame without its Huffman tables, as a UVC camera sends it (the simulated camera and
// the tests' fake one do that).
std::vector<std::uint8_t> WithoutHuffmanTables(const std::uint8_t* bytes, std::size_t length);

// Encodes 24-bit BGR rows (top-down, `stride` bytes apart) as a baseline JPEG with the
// standard Huffman tables, as cameras do. False when libjpeg refuses.
bool EncodeJpeg(const std::uint8_t* bgr, int width, int height, std::size_t stride, int quality,
                std::vector<std::uint8_t>& out);

// Decodes a JPEG into top-down BGR rows of width * 3 bytes, with plain libjpeg and nothing
// added; false when it cannot (a damaged frame, a missing table).
bool DecodeJpeg(const std::uint8_t* bytes, std::size_t length, std::vector<std::uint8_t>& bgr, int& width, int& height);
