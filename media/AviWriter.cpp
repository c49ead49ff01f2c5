#include "media/AviWriter.h"

#include "framework/Logging.h"
#include "media/AviInput.h"
#include "media/FfmpegHandles.h"

extern "C" {
#include <libavutil/opt.h>
}

#include "media/FfmpegLog.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

struct KnownEncoder {
    const char* handler;
    const char* encoder;
    bool hasQuality;
};

// The basic encoders first; an encoder FFmpeg was built without is left out.
constexpr KnownEncoder kKnownEncoders[] = {
    {"MSVC", "msvideo1", false}, {"MJPG", "mjpeg", true},   {"FFV1", "ffv1", false},     {"HFYU", "huffyuv", false},
    {"FMP4", "mpeg4", true},     {"H264", "libx264", true}, {"DIB ", "rawvideo", false},
};

AVPixelFormat PixelFormatFor(const AVCodec* codec)
{
    if (!codec->pix_fmts) return AV_PIX_FMT_BGR24;
    // The encoder's format that loses least from 24-bit BGR.
    return avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, AV_PIX_FMT_BGR24, 0, nullptr);
}

// Sets the encoder up for a recording: the size, every frame a key frame, the quality.
void Configure(AVCodecContext* context, const AVCodec* codec, int width, int height, int framesPerSecond,
               const VideoEncoderChoice& choice)
{
    context->width = width;
    context->height = height;
    context->time_base = AVRational{1, framesPerSecond};
    context->framerate = AVRational{framesPerSecond, 1};
    context->pix_fmt = PixelFormatFor(codec);
    context->gop_size = 1; // every sample a key frame
    // Microsoft Video 1 codes a frame alone only once keyint_min frames have passed since the
    // last (25 by default), and between them leaves unchanged blocks to the frame before: a
    // still scene would give frames that seeking cannot start from.
    context->keyint_min = 0;
    context->max_b_frames = 0;
    if (choice.hasQuality && choice.quality > 0) {
        const int quality = std::clamp(choice.quality, 1, 100);
        if (choice.encoder == "libx264") {
            av_opt_set_int(context->priv_data, "crf", 51 - quality * 51 / 100, 0);
        } else {
            // Quantiser 31 (worst) to 1 (best).
            context->flags |= AV_CODEC_FLAG_QSCALE;
            context->global_quality = FF_QP2LAMBDA * (31 - (quality - 1) * 30 / 99);
        }
    }
}

} // namespace

VideoEncoderChoice CameraMotionJpeg()
{
    return {"MJPG", "", "Motion JPEG", false, -1, true};
}

FrameRate FrameRateOfInterval(std::int64_t interval100ns, FrameRate fallback)
{
    if (interval100ns <= 0) return fallback;
    const double perSecond = 1e7 / static_cast<double>(interval100ns);
    for (const int denominator : {1, 2}) {
        const double scaled = perSecond * denominator;
        const long whole = std::lround(scaled);
        if (whole > 0 && std::abs(scaled - static_cast<double>(whole)) < 0.01 * denominator)
            return FrameRate(static_cast<int>(whole), denominator);
    }
    return FrameRate(10'000'000, static_cast<int>(std::min<std::int64_t>(interval100ns, 1'000'000'000)));
}

VideoEncoderChoice DefaultVideoEncoder()
{
    const AVCodec* codec = avcodec_find_encoder_by_name("msvideo1");
    return {"MSVC", "msvideo1", codec && codec->long_name ? codec->long_name : "Microsoft Video 1", false, -1};
}

std::vector<VideoEncoderChoice> AviVideoEncoders(int width, int height)
{
    std::vector<VideoEncoderChoice> choices;
    const AVOutputFormat* avi = av_guess_format("avi", nullptr, nullptr);
    for (const KnownEncoder& known : kKnownEncoders) {
        const AVCodec* codec = avcodec_find_encoder_by_name(known.encoder);
        if (!codec || !avi || avformat_query_codec(avi, codec->id, FF_COMPLIANCE_NORMAL) != 1) continue;
        const VideoEncoderChoice choice{known.handler, known.encoder,
                                        codec->long_name ? codec->long_name : known.encoder, known.hasQuality,
                                        known.hasQuality ? 75 : -1};
        // Only what really opens at this size is offered.
        CodecContextPtr context(avcodec_alloc_context3(codec));
        if (!context) continue;
        Configure(context.get(), codec, width, height, 15, choice);
        if (avcodec_open2(context.get(), codec, nullptr) < 0) continue;
        choices.push_back(choice);
    }
    return choices;
}

struct AviWriter::Handles {
    struct OutputCloser {
        void operator()(AVFormatContext* context) const
        {
            if (context->pb) avio_closep(&context->pb);
            avformat_free_context(context);
        }
    };
    std::unique_ptr<AVFormatContext, OutputCloser> format;
    CodecContextPtr encoder;
    FramePtr frame;
    PacketPtr packet;
    ScalerPtr scaler;
    PacketPtr last; // the last packet written, for repeats
    AVStream* stream = nullptr;
    AVRational slotTimeBase{1, 5}; // one slot of the nominal rate
    bool headerWritten = false;
};

AviWriter::AviWriter() : handles_(std::make_unique<Handles>()) {}

AviWriter::~AviWriter()
{
    Close();
}

AviWriter::OpenResult AviWriter::Open(const QString& path, int width, int height, FrameRate rate,
                                      const VideoEncoderChoice& choice)
{
    OpenResult result;
    auto fail = [&result](OpenStep step, const QString& reason) {
        result.failedStep = step;
        result.reason = reason;
        result.writer.reset();
        return std::move(result);
    };
    std::unique_ptr<AviWriter> writer(new AviWriter);
    writer->width_ = width;
    writer->height_ = height;
    writer->rate_ = rate;
    writer->passthrough_ = choice.passthrough;
    Handles& h = *writer->handles_;
    h.slotTimeBase = AVRational{rate.denominator, rate.numerator};

    AVFormatContext* format = nullptr;
    const QByteArray file = QFile::encodeName(path);
    if (const int error = avformat_alloc_output_context2(&format, nullptr, "avi", file.constData()); error < 0)
        return fail(OpenStep::OpenFile, FfmpegError(error));
    h.format.reset(format);
    if (const int error = avio_open(&format->pb, file.constData(), AVIO_FLAG_WRITE); error < 0)
        return fail(OpenStep::OpenFile, FfmpegError(error));

    h.stream = avformat_new_stream(format, nullptr);
    if (!h.stream) return fail(OpenStep::CreateStream, FfmpegError(AVERROR(ENOMEM)));
    const AVCodec* codec = nullptr;
    if (choice.passthrough) {
        // The camera's frames go in as they are: the stream only says what they are.
        AVCodecParameters* parameters = h.stream->codecpar;
        parameters->codec_type = AVMEDIA_TYPE_VIDEO;
        parameters->codec_id = AV_CODEC_ID_MJPEG;
        parameters->width = width;
        parameters->height = height;
        parameters->bits_per_coded_sample = 24;
        parameters->format = AV_PIX_FMT_YUVJ422P;
        parameters->codec_tag = MKTAG('M', 'J', 'P', 'G');
    } else {
        codec = avcodec_find_encoder_by_name(choice.encoder.c_str());
        if (!codec)
            return fail(OpenStep::MakeCompressedStream, QStringLiteral("no encoder %1").arg(choice.encoder.c_str()));
        h.encoder.reset(avcodec_alloc_context3(codec));
        if (!h.encoder) return fail(OpenStep::MakeCompressedStream, FfmpegError(AVERROR(ENOMEM)));
        Configure(h.encoder.get(), codec, width, height, 1, choice);
        h.encoder->time_base = h.slotTimeBase;
        h.encoder->framerate = AVRational{rate.numerator, rate.denominator};
        if (format->oformat->flags & AVFMT_GLOBALHEADER) h.encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (const int error = avcodec_open2(h.encoder.get(), codec, nullptr); error < 0)
            return fail(error == AVERROR(EINVAL) ? OpenStep::UnsupportedFormat : OpenStep::MakeCompressedStream,
                        FfmpegError(error));
        if (const int error = avcodec_parameters_from_context(h.stream->codecpar, h.encoder.get()); error < 0)
            return fail(OpenStep::SetFormat, FfmpegError(error));
        if (choice.handler.size() == 4 && choice.handler != "DIB ")
            h.stream->codecpar->codec_tag =
                MKTAG(choice.handler[0], choice.handler[1], choice.handler[2], choice.handler[3]);
    }
    h.stream->time_base = h.slotTimeBase; // the AVI's scale and rate are the nominal rate's
    h.stream->avg_frame_rate = AVRational{rate.numerator, rate.denominator};
    if (const int error = avformat_write_header(format, nullptr); error < 0) {
        // A handler code the muxer refuses ends the open here, with FFmpeg's reason.
        return fail(OpenStep::SetFormat, FfmpegError(error));
    }
    h.headerWritten = true;
    avio_flush(format->pb);
    // A disk that is already full takes the header into the buffer only: said here, not
    // after the first frames.
    if (format->pb->error < 0) return fail(OpenStep::OpenFile, FfmpegError(format->pb->error));

    h.packet.reset(av_packet_alloc());
    if (!h.packet) return fail(OpenStep::MakeCompressedStream, FfmpegError(AVERROR(ENOMEM)));
    if (!choice.passthrough) {
        h.frame.reset(av_frame_alloc());
        if (!h.frame) return fail(OpenStep::MakeCompressedStream, FfmpegError(AVERROR(ENOMEM)));
        h.frame->format = h.encoder->pix_fmt;
        h.frame->width = width;
        h.frame->height = height;
        if (const int error = av_frame_get_buffer(h.frame.get(), 0); error < 0)
            return fail(OpenStep::MakeCompressedStream, FfmpegError(error));
        h.scaler.reset(sws_getContext(width, height, AV_PIX_FMT_BGR24, width, height, h.encoder->pix_fmt, SWS_POINT,
                                      nullptr, nullptr, nullptr));
        if (!h.scaler)
            return fail(OpenStep::UnsupportedFormat, QStringLiteral("no conversion to the encoder's format"));
    }
    result.writer = std::move(writer);
    return result;
}

bool AviWriter::WriteFrame(const std::uint8_t* pixels, std::size_t length)
{
    if (closed_) return false;
    if (passthrough_) {
        lastError_ = QStringLiteral("this recording stores the camera's own frames, not pixels");
        return false;
    }
    Handles& h = *handles_;
    const std::size_t stride = (static_cast<std::size_t>(width_) * 3 + 3) & ~std::size_t{3};
    const std::size_t expected = stride * static_cast<std::size_t>(height_);
    if (!pixels || length != expected) {
        // A frame of another size would be written sheared, or read past its end.
        lastError_ = QStringLiteral("a frame of %1 bytes does not fit this %2 x %3 recording (%4 bytes a frame)")
                         .arg(length)
                         .arg(width_)
                         .arg(height_)
                         .arg(expected);
        return false;
    }
    if (const int error = av_frame_make_writable(h.frame.get()); error < 0) {
        lastError_ = FfmpegError(error);
        return false;
    }
    // Top-down rows, taken as they are.
    const std::uint8_t* source[4] = {pixels, nullptr, nullptr, nullptr};
    const int sourceStride[4] = {static_cast<int>(stride), 0, 0, 0};
    sws_scale(h.scaler.get(), source, sourceStride, 0, height_, h.frame->data, h.frame->linesize);
    h.frame->pts = nextPts_++;
    h.frame->pict_type = AV_PICTURE_TYPE_I;
    if (const int error = avcodec_send_frame(h.encoder.get(), h.frame.get()); error < 0) {
        lastError_ = FfmpegError(error);
        return false;
    }
    return Drain(false);
}

bool AviWriter::WriteCompressedFrame(const std::uint8_t* jpeg, std::size_t length)
{
    if (closed_) return false;
    if (!passthrough_ || !jpeg || length == 0 || length > 256u * 1024 * 1024) {
        lastError_ = QStringLiteral("a compressed frame of %1 bytes cannot go into this recording").arg(length);
        return false;
    }
    Handles& h = *handles_;
    av_packet_unref(h.packet.get());
    if (const int error = av_new_packet(h.packet.get(), static_cast<int>(length)); error < 0) {
        lastError_ = FfmpegError(error);
        return false;
    }
    std::memcpy(h.packet->data, jpeg, length);
    h.packet->pts = h.packet->dts = nextPts_++;
    return WritePacket(h.packet.get());
}

bool AviWriter::RepeatLastFrame()
{
    Handles& h = *handles_;
    if (closed_ || !h.last || !h.last->data) return false;
    PacketPtr copy(av_packet_clone(h.last.get()));
    if (!copy) return false;
    // The slot after the last one written (an encoder's own frames count on from it).
    copy->pts = copy->dts = nextPts_++;
    return WritePacket(copy.get());
}

bool AviWriter::WritePacket(AVPacket* packet)
{
    Handles& h = *handles_;
    // Every frame stands alone (a key frame), so any packet may be repeated.
    packet->flags |= AV_PKT_FLAG_KEY;
    packet->stream_index = h.stream->index;
    packet->duration = 1;
    av_packet_rescale_ts(packet, h.slotTimeBase, h.stream->time_base);
    if (packet != h.last.get()) {
        if (!h.last) h.last.reset(av_packet_alloc());
        if (h.last) {
            av_packet_unref(h.last.get());
            av_packet_ref(h.last.get(), packet);
        }
    }
    const int written = av_write_frame(h.format.get(), packet);
    av_packet_unref(packet);
    if (written < 0) {
        lastError_ = FfmpegError(written);
        return false;
    }
    ++framesWritten_;
    FlushEverySecond();
    if (h.format->pb->error < 0) {
        lastError_ = FfmpegError(h.format->pb->error);
        return false;
    }
    return true;
}

// On the disk at least once a second, so a file cut short keeps all but its last second.
void AviWriter::FlushEverySecond()
{
    const std::int64_t slotsPerSecond = std::max<std::int64_t>(1, std::llround(rate_.PerSecond()));
    if (nextPts_ % slotsPerSecond == 0) avio_flush(handles_->format->pb);
}

bool AviWriter::Drain(bool flushing)
{
    Handles& h = *handles_;
    for (;;) {
        const int received = avcodec_receive_packet(h.encoder.get(), h.packet.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return true;
        if (received < 0) {
            lastError_ = FfmpegError(received);
            return false;
        }
        // The encoder's time stamps are slots already (its time base is the slot's).
        if (!WritePacket(h.packet.get()) && !flushing) return false;
    }
}

bool AviWriter::Close()
{
    if (closed_) return true;
    closed_ = true;
    Handles& h = *handles_;
    if (!h.format || !h.headerWritten) return false;
    // Whatever happened before, the trailer (the index) is written: without it the file
    // would not seek.
    // (An open that failed right after the header has no packet to drain into.)
    if (h.encoder && h.packet) {
        avcodec_send_frame(h.encoder.get(), nullptr);
        Drain(true);
    }
    const int trailer = av_write_trailer(h.format.get());
    avio_flush(h.format->pb);
    const bool ok = trailer >= 0 && h.format->pb->error >= 0;
    if (!ok) lastError_ = FfmpegError(trailer < 0 ? trailer : h.format->pb->error);
    h.format.reset(); // closes the file
    qCInfo(lcMedia) << "recording closed with" << framesWritten_ << "frames";
    return ok;
}

AviFacts ReadAviFacts(const QString& path)
{
    AviFacts facts;
    const std::unique_ptr<AviInput> input = AviInput::Open(path);
    if (!input) return facts;
    AVFormatContext* format = input->Format();
    if (avformat_find_stream_info(format, nullptr) < 0) return facts;
    int streamIndex = -1;
    for (unsigned i = 0; i < format->nb_streams; ++i)
        if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            streamIndex = static_cast<int>(i);
            break;
        }
    if (streamIndex < 0) return facts;
    AVStream* stream = format->streams[streamIndex];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    facts.codec = codec ? codec->name : "";
    facts.rateNumerator = stream->avg_frame_rate.num ? stream->avg_frame_rate.num : stream->r_frame_rate.num;
    facts.rateDenominator = stream->avg_frame_rate.num ? stream->avg_frame_rate.den : stream->r_frame_rate.den;
    facts.width = stream->codecpar->width;
    facts.height = stream->codecpar->height;
    if (!codec) return facts;
    CodecContextPtr decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return facts;
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!packet || !frame) return facts;
    auto receive = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) ++facts.frames;
    };
    while (av_read_frame(format, packet.get()) >= 0) {
        if (packet->stream_index == streamIndex) {
            if (!(packet->flags & AV_PKT_FLAG_KEY)) facts.allKeyFrames = false;
            if (avcodec_send_packet(decoder.get(), packet.get()) >= 0) receive();
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(decoder.get(), nullptr);
    receive();
    facts.readable = true;
    return facts;
}
