#include "media/AviInput.h"

#include "framework/RegularFile.h"
#include "media/FfmpegHandles.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kIoBufferSize = 64 * 1024;

int ReadPacket(void* opaque, std::uint8_t* buffer, int size)
{
    const int fd = static_cast<OwnedFd*>(opaque)->Get();
    ssize_t got = 0;
    do {
        got = ::read(fd, buffer, static_cast<std::size_t>(size));
    } while (got < 0 && errno == EINTR);
    if (got == 0) return AVERROR_EOF;
    if (got < 0) return AVERROR(errno);
    return static_cast<int>(got);
}

std::int64_t Seek(void* opaque, std::int64_t offset, int whence)
{
    const int fd = static_cast<OwnedFd*>(opaque)->Get();
    if (whence & AVSEEK_SIZE) {
        struct stat info {};
        return ::fstat(fd, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : AVERROR(errno);
    }
    const off_t at = ::lseek(fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : static_cast<std::int64_t>(at);
}

} // namespace

void AviInput::IoFreer::operator()(AVIOContext* io) const
{
    av_freep(&io->buffer); // FFmpeg may have replaced the buffer it was given
    avio_context_free(&io);
}

void AviInput::FormatCloser::operator()(AVFormatContext* format) const
{
    avformat_close_input(&format);
}

std::unique_ptr<AviInput> AviInput::Open(const QString& path)
{
    std::unique_ptr<AviInput> input(new AviInput);
    input->fd_ = OpenRegularFile(path);
    if (!input->fd_.IsValid()) return nullptr;
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferSize));
    if (!buffer) return nullptr;
    input->io_.reset(avio_alloc_context(buffer, kIoBufferSize, 0, &input->fd_, ReadPacket, nullptr, Seek));
    if (!input->io_) {
        av_free(buffer);
        return nullptr;
    }
    AVFormatContext* format = avformat_alloc_context();
    if (!format) return nullptr;
    format->pb = input->io_.get();
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    // On failure FFmpeg frees the context (and leaves our I/O to us).
    if (avformat_open_input(&format, nullptr, av_find_input_format("avi"), nullptr) < 0) return nullptr;
    input->format_.reset(format);
    return input;
}

AviInput::~AviInput() = default;
