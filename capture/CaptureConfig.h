#pragma once
// CapConfig.dat: the last capture format the user chose, as the raw 88-byte record.

#include "capture/backend/VideoInfoHeader.h"

#include <QString>

// Where the file lives: the program directory, or the per-user configuration folder when
// the program directory cannot be written.
QString CaptureConfigPath(const QString& programDirectory);

// Loads exactly 88 bytes (a longer file's first 88). False for a missing, unreadable or
// short file; `format` is then unchanged.
bool ReadCaptureConfig(const QString& path, VideoInfoHeader& format);
// Writes the 88 bytes at the start of the file, creating it when needed. Failures are
// silent: the setting is simply not kept.
void WriteCaptureConfig(const QString& path, const VideoInfoHeader& format);

// Frames per second from the frame interval: integer part of 10,000,000 / interval + 0.49999999.
std::uint32_t FramesPerSecond(std::int64_t averageTimePerFrame);
// Bytes per frame for a bit count: x2 for 16 bits, x3 for 24, else width x height.
std::uint32_t ImageSizeFor(std::int32_t width, std::int32_t height, std::uint16_t bitCount);

// 1280 x 1024, image size 2,621,440, bit rate from the frame interval of `saved`.
void ApplyDefaultFormat(VideoInfoHeader& format, const VideoInfoHeader& saved);

// A record that may be handed to a camera: sensible size and bit count, within what the
// largest supported camera does.
bool IsPlausibleFormat(const VideoInfoHeader& format);
