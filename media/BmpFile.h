#pragma once
// The 24-bit bitmap file a still is written as: its two headers, then the frame's rows
// bottom-up, as they are (the frame holds them in the file's byte order).

#include "framework/Frame.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

// The 14-byte file header and the 40-byte information header of a 24-bit picture.
std::vector<std::uint8_t> BmpHeaders(std::int32_t width, std::int32_t height, std::uint32_t imageSize);
// The whole 24-bit bitmap file of a frame: headers, then its rows bottom-up.
QByteArray BmpFile(const Frame& frame);
