#pragma once
// Recordings: an AVI file with one video stream written by FFmpeg's AVI muxer, in the order
// of FFmpeg's muxing example (open the codec, write the header, send frames and take the
// packets, flush with a null frame, always write the trailer). Every frame is a key frame;
// the stream's nominal rate is the one given, with scale 1. What is written reaches the disk
// at least once a second, so a file cut short by a crash still plays up to its last second.

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVPacket;

// One video encoder the AVI writer can use, or none: the camera's own Motion JPEG frames
// stored as they come.
struct VideoEncoderChoice {
    std::string handler;      // the four-character code a user knows it by, e.g. "MSVC"
    std::string encoder;      // FFmpeg's encoder name, e.g. "msvideo1"; empty for the camera's frames
    std::string description;  // FFmpeg's long name
    bool hasQuality = false;  // whether the quality below means anything to it
    int quality = -1;         // 1..100, or -1 for the encoder's default
    bool passthrough = false; // the camera's Motion JPEG, not decoded and not encoded again
};

// Microsoft Video 1 ("MSVC"), the basic default.
VideoEncoderChoice DefaultVideoEncoder();
// The camera's Motion JPEG frames, stored without re-encoding ("MJPG").
VideoEncoderChoice CameraMotionJpeg();

// A stream's nominal rate: numerator / denominator frames a second.
struct FrameRate {
    int numerator = 5;
    int denominator = 1;
    FrameRate() = default;
    FrameRate(int framesPerSecond) : numerator(framesPerSecond > 0 ? framesPerSecond : 1) {}
    FrameRate(int num, int den) : numerator(num > 0 ? num : 1), denominator(den > 0 ? den : 1) {}
    double Period() const { return static_cast<double>(denominator) / numerator; }
    double PerSecond() const { return static_cast<double>(numerator) / denominator; }
};
// The rate of a camera's frame interval (100-nanosecond units): whole frames a second where
// it is that close to them (30, 15, 7.5), else exactly the interval; `fallback` when 0.
FrameRate FrameRateOfInterval(std::int64_t interval100ns, FrameRate fallback);
// The encoders the AVI muxer accepts that open at this picture size, basic ones first.
std::vector<VideoEncoderChoice> AviVideoEncoders(int width, int height);

class AviWriter {
public:
    // The step that failed when a recording could not be opened.
    enum class OpenStep { None, OpenFile, CreateStream, MakeCompressedStream, UnsupportedFormat, SetFormat };

    struct OpenResult {
        std::unique_ptr<AviWriter> writer; // null on failure
        OpenStep failedStep = OpenStep::None;
        QString reason; // FFmpeg's or the system's words
    };
    // Opens `path` for a recording of `width` x `height` frames at the nominal `rate`: encoded
    // 24-bit frames, or with a passthrough choice the camera's Motion JPEG frames as they are.
    static OpenResult Open(const QString& path, int width, int height, FrameRate rate,
                           const VideoEncoderChoice& encoder);

    ~AviWriter();
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Encodes and writes one frame (top-down BGR rows padded to 4 bytes). False on a write
    // error (the reason in LastError()); the file keeps what was written before.
    bool WriteFrame(const std::uint8_t* pixels, std::size_t length);
    // Writes one whole JPEG frame as it is (a passthrough recording only).
    bool WriteCompressedFrame(const std::uint8_t* jpeg, std::size_t length);
    bool IsPassthrough() const { return passthrough_; }
    // Writes the last frame again in the next slot, without encoding it again (every frame
    // is a key frame, so its packet stands alone). False when there is none or on an error.
    bool RepeatLastFrame();
    // Drains the encoder, writes the index and closes the file. Runs once; the destructor
    // calls it too. False when the trailer could not be written.
    bool Close();

    std::int64_t FramesWritten() const { return framesWritten_; }
    QString LastError() const { return lastError_; }

private:
    struct Handles;
    AviWriter();
    bool Drain(bool flushing);
    // Writes an encoded frame's packet in the next slot and keeps it for repeats.
    bool WritePacket(AVPacket* packet);
    void FlushEverySecond();

    std::unique_ptr<Handles> handles_;
    int width_ = 0, height_ = 0;
    FrameRate rate_;
    bool passthrough_ = false;
    std::int64_t framesWritten_ = 0;
    std::int64_t nextPts_ = 0;
    bool closed_ = false;
    QString lastError_;
};

// What a recording file holds, as FFmpeg reads it back (tests and the player).
struct AviFacts {
    bool readable = false;
    std::string codec;     // FFmpeg's codec name
    int rateNumerator = 0; // the stream's nominal rate (frames per second = num / den)
    int rateDenominator = 0;
    int width = 0, height = 0;
    std::int64_t frames = 0;  // frames decoded
    bool allKeyFrames = true; // every packet flagged as a key frame
};
AviFacts ReadAviFacts(const QString& path);
