#pragma once
// An AVI file opened for FFmpeg the one safe way: the program opens the file itself (a
// regular file only, never a FIFO or a device), FFmpeg reads it through the program's own
// I/O and only its AVI demuxer looks at it. No protocol is ever chosen by the file's
// contents, so a playlist or a reference named *.avi opens nothing else.

#include "framework/OwnedFd.h"

#include <QString>

#include <memory>

struct AVFormatContext;
struct AVIOContext;

class AviInput {
public:
    // Null when the file is not a regular file or FFmpeg's AVI demuxer refuses it.
    static std::unique_ptr<AviInput> Open(const QString& path);
    ~AviInput();
    AviInput(const AviInput&) = delete;
    AviInput& operator=(const AviInput&) = delete;

    AVFormatContext* Format() const { return format_.get(); }

private:
    AviInput() = default;

    struct IoFreer {
        void operator()(AVIOContext* io) const;
    };
    struct FormatCloser {
        void operator()(AVFormatContext* format) const;
    };

    // Each handle has its own owner; they go in the reverse order: the demuxer, its I/O,
    // then the file.
    OwnedFd fd_;
    std::unique_ptr<AVIOContext, IoFreer> io_;
    std::unique_ptr<AVFormatContext, FormatCloser> format_;
};
