#include "ClipInput.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace ClipInput {

int open(AVFormatContext** context, const QByteArray& encodedPath) {
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

} // namespace ClipInput
