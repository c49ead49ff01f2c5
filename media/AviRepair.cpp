#include "media/AviRepair.h"

#include "framework/Logging.h"
#include "framework/RegularFile.h"
#include "media/AviInput.h"
#include "media/FfmpegHandles.h"
#include "media/FfmpegLog.h"

#include <QFile>
#include <QFileInfo>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

struct OutputCloser {
    void operator()(AVFormatContext* context) const
    {
        if (!context) return;
        if (context->pb) avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
using OutputFormatPtr = std::unique_ptr<AVFormatContext, OutputCloser>;

} // namespace

bool IsCutShortAvi(const QString& path)
{
    qint64 size = 0;
    if (!IsReadableRegularFile(path, &size) || size < 12) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    // A recording is a chain of RIFF chunks: "AVI " and, past a gigabyte (OpenDML), "AVIX"
    // ones. The chunk being written when the recording was cut short has its size unset, or
    // one that runs past the end of the file.
    qint64 at = 0;
    for (int index = 0; at + 12 <= size; ++index) {
        if (!file.seek(at)) return false;
        const QByteArray head = file.read(12);
        if (head.size() < 12 || !head.startsWith("RIFF")) return false;
        if (head.mid(8, 4) != (index == 0 ? QByteArrayLiteral("AVI ") : QByteArrayLiteral("AVIX"))) return false;
        const auto* b = reinterpret_cast<const unsigned char*>(head.constData());
        const std::uint32_t riffSize = b[4] | (b[5] << 8) | (b[6] << 16) | (static_cast<std::uint32_t>(b[7]) << 24);
        if (riffSize == 0xFFFFFFFFu || at + 8 + static_cast<qint64>(riffSize) > size) return true;
        at += 8 + static_cast<qint64>(riffSize) + (riffSize & 1);
    }
    return false;
}

double ScanVideoSeconds(const QString& path)
{
    const std::unique_ptr<AviInput> input = AviInput::Open(path);
    if (!input) return 0;
    AVFormatContext* format = input->Format();
    if (avformat_find_stream_info(format, nullptr) < 0) return 0;
    const int video = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0) return 0;
    const AVRational timeBase = format->streams[video]->time_base;
    PacketPtr packet(av_packet_alloc());
    if (!packet) return 0;
    std::int64_t end = 0;
    while (av_read_frame(format, packet.get()) >= 0) {
        if (packet->stream_index == video) {
            const std::int64_t at = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            if (at != AV_NOPTS_VALUE) end = std::max(end, at + std::max<std::int64_t>(packet->duration, 1));
        }
        av_packet_unref(packet.get());
    }
    return static_cast<double>(end) * av_q2d(timeBase);
}

namespace {

// Whether the chunk a packet came from lies whole in the file: a kill while a frame was being
// written leaves its chunk header with the full size and only part of the bytes, which the
// demuxer still hands out as a (shorter) packet. The packet's position is that of its
// bytes; the chunk header ("00dc": stream, kind, then the size) stands just before them.
bool ChunkIsWhole(QFile& file, const AVPacket& packet)
{
    constexpr qint64 kHeader = 8;
    if (packet.pos < kHeader) return true; // nothing to check against
    char header[kHeader];
    if (!file.seek(packet.pos - kHeader) || file.read(header, kHeader) != kHeader) return false;
    if (!std::isdigit(static_cast<unsigned char>(header[0])) || !std::isdigit(static_cast<unsigned char>(header[1])))
        return true; // not a chunk header of ours: the demuxer's word stands
    const quint32 size = static_cast<quint8>(header[4]) | (static_cast<quint8>(header[5]) << 8) |
                         (static_cast<quint8>(header[6]) << 16) |
                         (static_cast<quint32>(static_cast<quint8>(header[7])) << 24);
    return packet.pos + static_cast<qint64>(size) <= file.size();
}

} // namespace

AviRepairResult RepairCutShortAvi(const QString& path, QString* error)
{
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return AviRepairResult::Failed;
    };
    const std::unique_ptr<AviInput> input = AviInput::Open(path);
    if (!input) return fail(QStringLiteral("not a readable AVI file"));
    AVFormatContext* in = input->Format();
    if (const int e = avformat_find_stream_info(in, nullptr); e < 0) return fail(FfmpegError(e));

    const QByteArray temporary = QFile::encodeName(path + QStringLiteral(".repair"));
    AVFormatContext* rawOut = nullptr;
    if (const int e = avformat_alloc_output_context2(&rawOut, nullptr, "avi", temporary.constData()); e < 0)
        return fail(FfmpegError(e));
    OutputFormatPtr out(rawOut);
    std::vector<int> streamMap(in->nb_streams, -1);
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        const AVCodecParameters* parameters = in->streams[i]->codecpar;
        if (parameters->codec_type != AVMEDIA_TYPE_VIDEO && parameters->codec_type != AVMEDIA_TYPE_AUDIO) continue;
        AVStream* stream = avformat_new_stream(out.get(), nullptr);
        if (!stream) return fail(FfmpegError(AVERROR(ENOMEM)));
        if (const int e = avcodec_parameters_copy(stream->codecpar, parameters); e < 0) return fail(FfmpegError(e));
        stream->time_base = in->streams[i]->time_base;
        stream->avg_frame_rate = in->streams[i]->avg_frame_rate;
        streamMap[i] = stream->index;
    }
    if (out->nb_streams == 0) return fail(QStringLiteral("no video in the file"));
    if (const int e = avio_open(&out->pb, temporary.constData(), AVIO_FLAG_WRITE); e < 0) return fail(FfmpegError(e));
    const auto removeTemporary = [&temporary] { ::unlink(temporary.constData()); };
    if (const int e = avformat_write_header(out.get(), nullptr); e < 0) {
        removeTemporary();
        return fail(FfmpegError(e));
    }
    PacketPtr packet(av_packet_alloc());
    std::int64_t copied = 0;
    QFile chunks(path);
    if (!chunks.open(QIODevice::ReadOnly)) {
        removeTemporary();
        return fail(chunks.errorString());
    }
    // Up to the last packet that reads whole; a frame cut in half ends the copy.
    while (packet && av_read_frame(in, packet.get()) >= 0) {
        const int target = streamMap[static_cast<std::size_t>(packet->stream_index)];
        if (target >= 0 && !ChunkIsWhole(chunks, *packet)) {
            av_packet_unref(packet.get());
            break;
        }
        if (target >= 0) {
            av_packet_rescale_ts(packet.get(), in->streams[packet->stream_index]->time_base,
                                 out->streams[target]->time_base);
            packet->stream_index = target;
            packet->pos = -1;
            if (const int e = av_interleaved_write_frame(out.get(), packet.get()); e < 0) {
                removeTemporary();
                return fail(FfmpegError(e));
            }
            ++copied;
        }
        av_packet_unref(packet.get());
    }
    const int trailer = av_write_trailer(out.get());
    const int written = out->pb ? out->pb->error : 0;
    out.reset(); // closes the new file
    if (trailer < 0 || written < 0) {
        removeTemporary();
        return fail(FfmpegError(trailer < 0 ? trailer : written));
    }
    if (copied == 0) {
        removeTemporary();
        return AviRepairResult::NothingToKeep;
    }
    // One step: the repaired file takes the old one's name, or nothing changes.
    if (std::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        const int e = errno;
        removeTemporary();
        return fail(QString::fromLocal8Bit(std::strerror(e)));
    }
    qCInfo(lcMedia) << "repaired the cut-short recording" << path << "with" << copied << "packets";
    return AviRepairResult::Repaired;
}
