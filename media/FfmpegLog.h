#pragma once
// Sends FFmpeg's own log into the media log category instead of the terminal, and words
// FFmpeg's error codes for the user.

#include <QString>

void RouteFfmpegLogToMediaCategory();

// FFmpeg's text for an error code (AVERROR(...)).
QString FfmpegError(int error);
