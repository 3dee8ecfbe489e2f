#include "ClipInput.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <mutex>

namespace ClipInput {

int open(AVFormatContext** context, const QByteArray& encodedPath) {
    // A broken clip is reported by whoever opened it, not on the terminal.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_FATAL); });
    const AVInputFormat* clipFormat = av_find_input_format("mov");
    if (!clipFormat) {
        avformat_free_context(*context);
        *context = nullptr;
        return AVERROR_DEMUXER_NOT_FOUND;
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set(&options, "format_whitelist", "mov,mp4,m4a,3gp,3g2,mj2", 0);
    const QByteArray url = "file:" + encodedPath;
    const int opened = avformat_open_input(context, url.constData(), clipFormat, &options);
    av_dict_free(&options);
    return opened;
}

int videoStream(const AVFormatContext* format) {
    int best = -1;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        const AVCodecParameters* par = stream->codecpar;
        if (par->codec_type != AVMEDIA_TYPE_VIDEO || (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) ||
            par->width <= 0 || par->height <= 0)
            continue;
        if (best < 0 || (stream->disposition & AV_DISPOSITION_DEFAULT))
            best = int(i);
        if (stream->disposition & AV_DISPOSITION_DEFAULT)
            break;
    }
    return best;
}

std::optional<double> duration(const AVFormatContext* format, const AVStream* stream) {
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
        return double(format->duration) / AV_TIME_BASE;
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        return double(stream->duration) * av_q2d(stream->time_base);
    return std::nullopt;
}

} // namespace ClipInput
