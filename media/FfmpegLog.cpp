#include "media/FfmpegLog.h"

#include "framework/Logging.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

#include <cstdarg>
#include <cstdio>

namespace {

void ForwardToCategory(void* context, int level, const char* format, va_list arguments)
{
    if (level > av_log_get_level()) return;
    char line[1024];
    int prefix = 1;
    av_log_format_line2(context, level, format, arguments, line, sizeof line, &prefix);
    const QString text = QString::fromUtf8(line).trimmed();
    if (text.isEmpty()) return;
    if (level <= AV_LOG_ERROR) qCWarning(lcMedia).noquote() << "ffmpeg:" << text;
    else qCDebug(lcMedia).noquote() << "ffmpeg:" << text;
}

} // namespace

void RouteFfmpegLogToMediaCategory()
{
    av_log_set_callback(ForwardToCategory);
}

QString FfmpegError(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return QString::fromUtf8(text);
}
