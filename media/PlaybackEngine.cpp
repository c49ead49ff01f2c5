#include "media/PlaybackEngine.h"

#include <cmath>

#include "framework/Logging.h"
#include "media/AviInput.h"
#include "media/AviRepair.h"
#include "media/FfmpegHandles.h"
#include "media/ScaledPicture.h"

#include <algorithm>
#include <cstring>

// The opened file and its decoder; the worker thread alone uses them while it runs.
struct PlaybackEngine::InputHolder {
    std::unique_ptr<AviInput> input;
    CodecContextPtr decoder;
    PacketPtr packet;
    FramePtr frame;
    ScalerPtr scaler;
    int stream = -1;
    AVRational timeBase{1, 1};
};

PlaybackEngine::PlaybackEngine(QObject* parent) : QObject(parent)
{
    presentTimer_.setInterval(10);
    connect(&presentTimer_, &QTimer::timeout, this, &PlaybackEngine::Present);
}

PlaybackEngine::~PlaybackEngine()
{
    Close();
}

bool PlaybackEngine::Open(const QString& path, QSize frameSize)
{
    Close();
    auto holder = std::make_unique<InputHolder>();
    holder->input = AviInput::Open(path);
    if (!holder->input) return false;
    AVFormatContext* format = holder->input->Format();
    if (avformat_find_stream_info(format, nullptr) < 0) return false;
    // The first video stream; an audio stream is left alone.
    for (unsigned i = 0; i < format->nb_streams; ++i)
        if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            holder->stream = static_cast<int>(i);
            break;
        }
    if (holder->stream < 0) return false;
    AVStream* stream = format->streams[holder->stream];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) return false;
    holder->decoder.reset(avcodec_alloc_context3(codec));
    if (!holder->decoder || avcodec_parameters_to_context(holder->decoder.get(), stream->codecpar) < 0 ||
        avcodec_open2(holder->decoder.get(), codec, nullptr) < 0)
        return false;
    holder->packet.reset(av_packet_alloc());
    holder->frame.reset(av_frame_alloc());
    if (!holder->packet || !holder->frame) return false;
    holder->timeBase = stream->time_base;
    if (stream->duration > 0) duration_ = stream->duration * av_q2d(stream->time_base);
    else if (format->duration > 0) duration_ = static_cast<double>(format->duration) / AV_TIME_BASE;
    else duration_ = ScanVideoSeconds(path); // a file without an index (cut short): plays to its last frame

    // Shown whole with its shape kept: the largest size within the one asked for (the
    // player's bars fill the rest). Pixels that are not square count as the stream says.
    QSize picture(stream->codecpar->width, stream->codecpar->height);
    const AVRational aspect = stream->codecpar->sample_aspect_ratio;
    if (aspect.num > 0 && aspect.den > 0)
        picture.setWidth(static_cast<int>(std::lround(picture.width() * av_q2d(aspect))));
    frameSize_ =
        (picture.isEmpty() ? frameSize : picture.scaled(frameSize, Qt::KeepAspectRatio)).expandedTo(QSize(1, 1));
    input_ = std::move(holder);
    position_ = 0;
    state_ = State::Paused;
    {
        std::lock_guard lock(mutex_);
        queue_.clear();
        seekTo_.reset();
        endOfStream_ = false;
        quit_ = false;
        ++generation_;
    }
    showNextFrame_ = true; // the first frame is shown at once
    worker_ = std::thread([this] { DecodeLoop(); });
    return true;
}

void PlaybackEngine::StopWorker()
{
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void PlaybackEngine::Close()
{
    presentTimer_.stop();
    StopWorker();
    input_.reset();
    framesReady_.Clear();
    {
        std::lock_guard lock(mutex_);
        queue_.clear();
    }
    state_ = State::Stopped;
    duration_ = position_ = 0;
    current_ = QImage();
}

void PlaybackEngine::Run()
{
    if (!IsOpen() || state_ == State::Running) return;
    state_ = State::Running;
    clockBase_ = position_;
    clock_.restart();
    presentTimer_.start();
}

void PlaybackEngine::Pause()
{
    if (!IsOpen()) return;
    state_ = State::Paused;
    presentTimer_.stop();
}

void PlaybackEngine::SetPosition(double seconds)
{
    if (!IsOpen()) return;
    position_ = std::clamp(seconds, 0.0, duration_);
    {
        std::lock_guard lock(mutex_);
        seekTo_ = position_;
        queue_.clear();
        endOfStream_ = false;
        ++generation_;
    }
    wake_.notify_all();
    showNextFrame_ = true;
    clockBase_ = position_;
    clock_.restart();
}

bool PlaybackEngine::event(QEvent* event)
{
    if (!framesReady_.IsFor(event)) return QObject::event(event);
    framesReady_.TakeAll();
    if (state_ != State::Running) Present(); // paused: show the frame a seek asked for
    return true;
}

void PlaybackEngine::Present()
{
    std::optional<Frame> shown;
    bool ended = false;
    {
        std::lock_guard lock(mutex_);
        while (!queue_.empty() && queue_.front().generation != generation_) queue_.pop_front();
        if (state_ == State::Running) {
            const double now = clockBase_ + clock_.elapsed() / 1000.0;
            // Frames are shown when their time comes; one that is late is passed over.
            while (!queue_.empty() && queue_.front().time <= now) {
                shown = std::move(queue_.front());
                queue_.pop_front();
            }
            ended = queue_.empty() && endOfStream_;
        } else if (showNextFrame_ && !queue_.empty()) {
            shown = std::move(queue_.front());
            queue_.pop_front();
            showNextFrame_ = false;
        }
    }
    wake_.notify_all(); // room in the queue
    if (shown) {
        current_ = std::move(shown->image);
        if (state_ == State::Running) position_ = shown->time;
        emit FrameShown();
    }
    if (ended && state_ == State::Running) {
        state_ = State::Paused;
        presentTimer_.stop();
        position_ = duration_;
        emit Completed();
    }
}

void PlaybackEngine::DecodeLoop()
{
    InputHolder& in = *input_;
    AVFormatContext* format = in.input->Format();
    double skipUntil = 0;
    int generation = 0;
    {
        std::lock_guard lock(mutex_);
        generation = generation_;
    }
    std::optional<Frame> lastBeforeTarget; // shown when a seek goes past the last frame
    bool deliveredSinceSeek = false;
    bool draining = false;

    auto deliver = [&](Frame frame) {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return quit_ || seekTo_ || queue_.size() < kQueuedFrames; });
        if (quit_ || seekTo_ || frame.generation != generation_) return;
        queue_.push_back(std::move(frame));
        lock.unlock();
        framesReady_.Post(FramesReady{});
    };
    ScaledPicture scaled;
    auto convert = [&](const AVFrame* decoded, double time) {
        Frame out;
        out.time = time;
        out.generation = generation;
        out.image = QImage(frameSize_, QImage::Format_RGB32);
        in.scaler.reset(sws_getCachedContext(
            in.scaler.release(), decoded->width, decoded->height, static_cast<AVPixelFormat>(decoded->format),
            frameSize_.width(), frameSize_.height(), AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr));
        if (!in.scaler ||
            !scaled.Scale(in.scaler.get(), decoded, frameSize_.width(), frameSize_.height(), AV_PIX_FMT_BGRA))
            return out;
        const std::size_t rowBytes = static_cast<std::size_t>(frameSize_.width()) * 4;
        for (int y = 0; y < frameSize_.height(); ++y) std::memcpy(out.image.scanLine(y), scaled.Row(y), rowBytes);
        return out;
    };

    for (;;) {
        {
            std::unique_lock lock(mutex_);
            if (quit_) return;
            if (seekTo_) {
                skipUntil = *seekTo_;
                seekTo_.reset();
                generation = generation_;
                lock.unlock();
                const auto target = static_cast<std::int64_t>(skipUntil / av_q2d(in.timeBase));
                av_seek_frame(format, in.stream, target, AVSEEK_FLAG_BACKWARD);
                avcodec_flush_buffers(in.decoder.get());
                lastBeforeTarget.reset();
                deliveredSinceSeek = false;
                draining = false;
                continue;
            }
            if (endOfStream_) {
                wake_.wait(lock, [&] { return quit_ || seekTo_.has_value(); });
                continue;
            }
        }
        if (!draining) {
            const int read = av_read_frame(format, in.packet.get());
            if (read < 0) {
                draining = true;
                avcodec_send_packet(in.decoder.get(), nullptr);
            } else {
                if (in.packet->stream_index == in.stream) avcodec_send_packet(in.decoder.get(), in.packet.get());
                av_packet_unref(in.packet.get());
            }
        }
        for (;;) {
            const int received = avcodec_receive_frame(in.decoder.get(), in.frame.get());
            if (received < 0) {
                if (draining && received != AVERROR(EAGAIN)) {
                    // The end: a seek past the last frame shows the last one.
                    if (!deliveredSinceSeek && lastBeforeTarget) deliver(std::move(*lastBeforeTarget));
                    lastBeforeTarget.reset();
                    std::lock_guard lock(mutex_);
                    if (generation == generation_) endOfStream_ = true;
                    framesReady_.Post(FramesReady{});
                }
                break;
            }
            const std::int64_t stamp = in.frame->best_effort_timestamp;
            const double time = stamp == AV_NOPTS_VALUE ? 0 : stamp * av_q2d(in.timeBase);
            const double halfFrame =
                0.5 * av_q2d(in.decoder->framerate.num ? av_inv_q(in.decoder->framerate) : AVRational{1, 25});
            if (time + halfFrame < skipUntil) {
                // Decoded on the way to the position a seek asked for: kept only as the last
                // frame, in case the position lies past every frame.
                lastBeforeTarget = convert(in.frame.get(), time);
                continue;
            }
            deliveredSinceSeek = true;
            deliver(convert(in.frame.get(), time));
        }
    }
}
