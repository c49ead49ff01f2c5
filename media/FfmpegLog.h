#pragma once
// Sends FFmpeg's own log into the media log category instead of the terminal.

void RouteFfmpegLogToMediaCategory();
