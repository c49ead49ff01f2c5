#include "media/StreamSender.h"

#include "media/FfmpegHandles.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <chrono>

namespace {

constexpr int kRetrySeconds = 3;
constexpr int kNetworkTimeoutSeconds = 5; // a server that takes longer to answer is taken as gone
constexpr std::int64_t kBitsPerPixelSecond = 4;
constexpr std::int64_t kKeyFrameMilliseconds = 2000; // about 5 Mbit/s at 1280 x 1024, 30 frames a second

std::string FfmpegError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

struct OutputFreer {
    void operator()(AVFormatContext* context) const
    {
        if (context->pb) avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
using OutputPtr = std::unique_ptr<AVFormatContext, OutputFreer>;

} // namespace

// One connection to the server: the encoder, the muxer and its network stream.
class StreamSender::Session {
public:
    explicit Session(const std::atomic<bool>& stopping) : stopping_(stopping) {}

    bool Open(const std::string& url, int width, int height, std::string& error)
    {
        width_ = width & ~1; // 4:2:0 needs even sides
        height_ = height & ~1;
        const bool srt = url.rfind("srt://", 0) == 0;
        AVFormatContext* raw = nullptr;
        int result = avformat_alloc_output_context2(&raw, nullptr, srt ? "mpegts" : "flv", url.c_str());
        if (result < 0 || !raw) return Fail(error, "no muxer", result);
        output_.reset(raw);
        output_->interrupt_callback = {&Session::Interrupted, this};

        const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
        if (!codec) codec = avcodec_find_encoder(AV_CODEC_ID_H264);
        if (!codec) return Fail(error, "no H.264 encoder", AVERROR_ENCODER_NOT_FOUND);
        encoder_.reset(avcodec_alloc_context3(codec));
        encoder_->width = width_;
        encoder_->height = height_;
        encoder_->pix_fmt = AV_PIX_FMT_YUV420P;
        encoder_->time_base = {1, 1000}; // milliseconds, as FLV counts
        encoder_->framerate = {30, 1};
        encoder_->gop_size = 600; // key frames are asked for every two seconds (Send)
        encoder_->max_b_frames = 0;
        encoder_->bit_rate = static_cast<std::int64_t>(width_) * height_ * kBitsPerPixelSecond;
        if (output_->oformat->flags & AVFMT_GLOBALHEADER) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        av_opt_set(encoder_->priv_data, "preset", "veryfast", 0);
        av_opt_set(encoder_->priv_data, "tune", "zerolatency", 0);
        if ((result = avcodec_open2(encoder_.get(), codec, nullptr)) < 0) return Fail(error, "encoder", result);

        AVStream* stream = avformat_new_stream(output_.get(), nullptr);
        if (!stream) return Fail(error, "no stream", AVERROR(ENOMEM));
        stream->time_base = encoder_->time_base;
        avcodec_parameters_from_context(stream->codecpar, encoder_.get());
        stream_ = stream;

        deadline_ = Clock::now() + std::chrono::seconds(kNetworkTimeoutSeconds);
        if ((result = avio_open2(&output_->pb, url.c_str(), AVIO_FLAG_WRITE, &output_->interrupt_callback, nullptr)) <
            0)
            return Fail(error, "cannot connect", result);
        if ((result = avformat_write_header(output_.get(), nullptr)) < 0) return Fail(error, "refused", result);

        frame_.reset(av_frame_alloc());
        frame_->format = AV_PIX_FMT_YUV420P;
        frame_->width = width_;
        frame_->height = height_;
        if (av_frame_get_buffer(frame_.get(), 0) < 0) return Fail(error, "no memory", AVERROR(ENOMEM));
        scaler_.reset(sws_getContext(width_, height_, AV_PIX_FMT_BGR24, width_, height_, AV_PIX_FMT_YUV420P,
                                     SWS_BILINEAR, nullptr, nullptr, nullptr));
        packet_.reset(av_packet_alloc());
        return scaler_ && packet_;
    }

    bool Fits(const Frame& frame) const { return (frame.width & ~1) == width_ && (frame.height & ~1) == height_; }

    bool Send(const Frame& frame, std::string& error)
    {
        if (av_frame_make_writable(frame_.get()) < 0) return Fail(error, "no memory", AVERROR(ENOMEM));
        const std::uint8_t* source[1] = {frame.pixels.data()};
        const int stride[1] = {static_cast<int>(frame.stride)};
        sws_scale(scaler_.get(), source, stride, 0, height_, frame_->data, frame_->linesize);
        // Time from the capture clock, never going back.
        if (firstCaptured_ < 0) firstCaptured_ = frame.captured;
        std::int64_t pts = static_cast<std::int64_t>((frame.captured - firstCaptured_) * 1000);
        if (pts <= lastPts_) pts = lastPts_ + 1;
        lastPts_ = pts;
        frame_->pts = pts;
        // A key frame every two seconds whatever the rate: a viewer joining (and the server's
        // segments) never wait longer.
        const bool key = lastKeyPts_ < 0 || pts - lastKeyPts_ >= kKeyFrameMilliseconds;
        frame_->pict_type = key ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        if (key) lastKeyPts_ = pts;
        deadline_ = Clock::now() + std::chrono::seconds(kNetworkTimeoutSeconds);
        int result = avcodec_send_frame(encoder_.get(), frame_.get());
        if (result < 0) return Fail(error, "encoder", result);
        while ((result = avcodec_receive_packet(encoder_.get(), packet_.get())) == 0) {
            av_packet_rescale_ts(packet_.get(), encoder_->time_base, stream_->time_base);
            packet_->stream_index = stream_->index;
            if ((result = av_interleaved_write_frame(output_.get(), packet_.get())) < 0)
                return Fail(error, "the server dropped the connection", result);
        }
        return result == AVERROR(EAGAIN) || result == AVERROR_EOF ? true : Fail(error, "encoder", result);
    }

    // Ends the stream properly where the connection still stands.
    void Close(bool connectionStands)
    {
        if (connectionStands && output_ && output_->pb) {
            deadline_ = Clock::now() + std::chrono::seconds(kNetworkTimeoutSeconds);
            av_write_trailer(output_.get());
        }
    }

private:
    using Clock = std::chrono::steady_clock;

    static int Interrupted(void* opaque)
    {
        auto* session = static_cast<Session*>(opaque);
        return session->stopping_.load() || Clock::now() > session->deadline_;
    }
    bool Fail(std::string& error, const char* what, int code)
    {
        error = std::string(what) + ": " + FfmpegError(code);
        return false;
    }

    const std::atomic<bool>& stopping_;
    Clock::time_point deadline_ = Clock::now();
    OutputPtr output_;
    CodecContextPtr encoder_;
    AVStream* stream_ = nullptr;
    FramePtr frame_;
    PacketPtr packet_;
    ScalerPtr scaler_;
    int width_ = 0;
    int height_ = 0;
    double firstCaptured_ = -1;
    std::int64_t lastPts_ = -1;
    std::int64_t lastKeyPts_ = -1;
};

StreamSender::StreamSender(std::string url, Report report)
    : url_(std::move(url)), report_(std::move(report)), worker_([this] { Work(); })
{
}

StreamSender::~StreamSender()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    halt_ = true; // a connection being made or a packet being written gives up at once
    wake_.notify_all();
    worker_.join();
}

void StreamSender::Offer(SharedFrame frame)
{
    if (!frame || frame->Empty()) return;
    {
        std::lock_guard lock(mutex_);
        waiting_ = std::move(frame);
    }
    wake_.notify_all();
}

std::uint64_t StreamSender::FramesSent() const
{
    std::lock_guard lock(mutex_);
    return sent_;
}

bool StreamSender::WaitToRetry()
{
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::seconds(kRetrySeconds), [this] { return stopping_; });
}

void StreamSender::Work()
{
    std::unique_ptr<Session> session;
    bool reported = false;
    for (;;) {
        SharedFrame frame;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || waiting_; });
            if (stopping_) break;
            frame = std::move(waiting_);
        }
        std::string error;
        if (session && !session->Fits(*frame)) {
            session->Close(true); // a new capture size: a new stream
            session.reset();
        }
        if (!session) {
            if (!reported) report_(State::Connecting, {});
            session = std::make_unique<Session>(halt_);
            if (!session->Open(url_, frame->width, frame->height, error)) {
                session.reset();
                reported = true;
                report_(State::Reconnecting, error);
                if (!WaitToRetry()) break;
                continue;
            }
            reported = false;
            report_(State::Streaming, {});
        }
        if (!session->Send(*frame, error)) {
            session->Close(false);
            session.reset();
            reported = true;
            report_(State::Reconnecting, error);
            if (!WaitToRetry()) break;
            continue;
        }
        std::lock_guard lock(mutex_);
        ++sent_;
    }
    if (session) session->Close(true);
    session.reset();
    report_(State::Stopped, {});
}

bool StreamSender::IsStreamAddress(const std::string& url)
{
    for (const char* scheme : {"rtmp://", "rtmps://", "srt://"})
        if (url.rfind(scheme, 0) == 0 && url.size() > std::string(scheme).size()) return true;
    return false;
}

std::string StreamSender::WithoutKey(const std::string& url)
{
    // rtmp://host/app/KEY, srt://host:port?passphrase=...: the key is a password of sorts.
    std::string shown = url;
    if (const std::size_t query = shown.find('?'); query != std::string::npos) shown = shown.substr(0, query) + "?…";
    const std::size_t hostEnd = shown.find('/', shown.find("://") + 3);
    if (hostEnd == std::string::npos) return shown;
    const std::size_t appEnd = shown.find('/', hostEnd + 1);
    return appEnd == std::string::npos ? shown : shown.substr(0, appEnd + 1) + "…";
}
