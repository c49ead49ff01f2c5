#include "TestAvi.h"

#include "media/FfmpegHandles.h"

#include <QFile>

namespace {
struct OutputCloser {
    void operator()(AVFormatContext* context) const
    {
        if (context->pb) avio_closep(&context->pb);
        avformat_free_context(context);
    }
};

bool AddAudio(AVFormatContext* format)
{
    AVStream* stream = avformat_new_stream(format, nullptr);
    if (!stream) return false;
    stream->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    stream->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
    stream->codecpar->sample_rate = 8000;
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(57, 24, 100)
    av_channel_layout_default(&stream->codecpar->ch_layout, 1);
#else
    stream->codecpar->channels = 1;
    stream->codecpar->channel_layout = AV_CH_LAYOUT_MONO;
#endif
    stream->codecpar->bits_per_coded_sample = 16;
    stream->codecpar->block_align = 2;
    stream->time_base = AVRational{1, 8000};
    return true;
}
} // namespace

bool WriteTestAvi(const QString& path, int width, int height, int frames, QColor firstFrameColour, bool audioFirst)
{
    AVFormatContext* raw = nullptr;
    const QByteArray file = QFile::encodeName(path);
    if (avformat_alloc_output_context2(&raw, nullptr, "avi", file.constData()) < 0) return false;
    std::unique_ptr<AVFormatContext, OutputCloser> format(raw);
    if (audioFirst && !AddAudio(format.get())) return false;
    AVStream* video = avformat_new_stream(format.get(), nullptr);
    if (!video) return false;
    video->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    video->codecpar->codec_id = AV_CODEC_ID_RAWVIDEO;
    video->codecpar->format = AV_PIX_FMT_BGR24;
    video->codecpar->width = width;
    video->codecpar->height = height;
    video->codecpar->codec_tag = 0;
    video->codecpar->bits_per_coded_sample = 24;
    video->time_base = AVRational{1, 10};
    if (avio_open(&format->pb, file.constData(), AVIO_FLAG_WRITE) < 0) return false;
    if (avformat_write_header(format.get(), nullptr) < 0) return false;
    const int frameBytes = av_image_get_buffer_size(AV_PIX_FMT_BGR24, width, height, 1);
    for (int i = 0; i < frames; ++i) {
        PacketPtr packet(av_packet_alloc());
        av_new_packet(packet.get(), frameBytes);
        const QColor c = i == 0 ? firstFrameColour : QColor(20, 200, 20);
        for (int p = 0; p < width * height; ++p) {
            packet->data[p * 3] = static_cast<std::uint8_t>(c.blue());
            packet->data[p * 3 + 1] = static_cast<std::uint8_t>(c.green());
            packet->data[p * 3 + 2] = static_cast<std::uint8_t>(c.red());
        }
        packet->stream_index = video->index;
        packet->pts = packet->dts = av_rescale_q(i, AVRational{1, 10}, video->time_base);
        packet->flags |= AV_PKT_FLAG_KEY;
        if (av_interleaved_write_frame(format.get(), packet.get()) < 0) return false;
    }
    return av_write_trailer(format.get()) == 0;
}
