// The FFmpeg libraries are opened when a video is first probed, not when the program starts: with the hundred
// libraries they bring in they would cost every start tens of milliseconds and about 20 MB, though the first
// screen shows no video. Each FFmpeg function the probe calls is defined here with the library's own signature
// (the compiler checks it against FFmpeg's header) and forwards to the library's function, looked up once.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/macros.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <QtGlobal>

#include <array>

#include <dlfcn.h>

namespace {

enum Library { avutil, avcodec, avformat, swscale, libraryCount };

void* handle(Library library) {
    static const std::array<void*, libraryCount> handles = [] {
        // By soname with the major versions built against, as the dynamic linker would have loaded them.
        const std::array<const char*, libraryCount> names{
            "libavutil.so." AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR),
            "libavcodec.so." AV_STRINGIFY(LIBAVCODEC_VERSION_MAJOR),
            "libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR),
            "libswscale.so." AV_STRINGIFY(LIBSWSCALE_VERSION_MAJOR),
        };
        std::array<void*, libraryCount> opened{};
        for (int i = 0; i < libraryCount; ++i) {
            opened[i] = dlopen(names[i], RTLD_LAZY | RTLD_LOCAL);
            // A missing library stopped the program at start before it was loaded late; it still does.
            if (!opened[i])
                qFatal("Cannot load %s: %s", names[i], dlerror());
        }
        return opened;
    }();
    return handles[library];
}

void* symbol(Library library, const char* name) {
    void* found = dlsym(handle(library), name);
    if (!found)
        qFatal("FFmpeg function %s is missing: %s", name, dlerror());
    return found;
}

} // namespace

#define ORVANE_FORWARD(library, result, name, parameters, arguments)                                                   \
    extern "C" result name parameters {                                                                                \
        static const auto real = reinterpret_cast<decltype(&name)>(symbol(library, #name));                            \
        return real arguments;                                                                                         \
    }

ORVANE_FORWARD(avutil, void, av_dict_free, (AVDictionary * *dictionary), (dictionary))
ORVANE_FORWARD(avutil, int, av_dict_set, (AVDictionary * *dictionary, const char* key, const char* value, int flags),
               (dictionary, key, value, flags))
ORVANE_FORWARD(avutil, double, av_display_rotation_get, (const int32_t matrix[9]), (matrix))
ORVANE_FORWARD(avutil, AVFrame*, av_frame_alloc, (void), ())
ORVANE_FORWARD(avutil, void, av_frame_free, (AVFrame * *frame), (frame))
ORVANE_FORWARD(avutil, void, av_frame_move_ref, (AVFrame * target, AVFrame* source), (target, source))
ORVANE_FORWARD(avutil, void, av_frame_unref, (AVFrame * frame), (frame))
ORVANE_FORWARD(avutil, void, av_log_set_level, (int level), (level))
ORVANE_FORWARD(avutil, const AVPixFmtDescriptor*, av_pix_fmt_desc_get, (enum AVPixelFormat format), (format))
ORVANE_FORWARD(avutil, int, av_strerror, (int code, char* buffer, size_t size), (code, buffer, size))

ORVANE_FORWARD(avcodec, AVPacket*, av_packet_alloc, (void), ())
ORVANE_FORWARD(avcodec, void, av_packet_free, (AVPacket * *packet), (packet))
ORVANE_FORWARD(avcodec, void, av_packet_unref, (AVPacket * packet), (packet))
ORVANE_FORWARD(avcodec, AVCodecContext*, avcodec_alloc_context3, (const AVCodec* codec), (codec))
ORVANE_FORWARD(avcodec, const AVCodec*, avcodec_find_decoder, (enum AVCodecID id), (id))
ORVANE_FORWARD(avcodec, void, avcodec_flush_buffers, (AVCodecContext * context), (context))
ORVANE_FORWARD(avcodec, void, avcodec_free_context, (AVCodecContext * *context), (context))
ORVANE_FORWARD(avcodec, const char*, avcodec_get_name, (enum AVCodecID id), (id))
ORVANE_FORWARD(avcodec, int, avcodec_open2, (AVCodecContext * context, const AVCodec* codec, AVDictionary** options),
               (context, codec, options))
ORVANE_FORWARD(avcodec, int, avcodec_parameters_to_context,
               (AVCodecContext * context, const AVCodecParameters* parameters), (context, parameters))
ORVANE_FORWARD(avcodec, int, avcodec_receive_frame, (AVCodecContext * context, AVFrame* frame), (context, frame))
ORVANE_FORWARD(avcodec, int, avcodec_send_packet, (AVCodecContext * context, const AVPacket* packet), (context, packet))
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 30, 100)
ORVANE_FORWARD(avcodec, const AVPacketSideData*, av_packet_side_data_get,
               (const AVPacketSideData* data, int count, enum AVPacketSideDataType type), (data, count, type))
#else
ORVANE_FORWARD(avformat, uint8_t*, av_stream_get_side_data,
               (const AVStream* stream, enum AVPacketSideDataType type, size_t* size), (stream, type, size))
#endif

ORVANE_FORWARD(avformat, const AVInputFormat*, av_find_input_format, (const char* name), (name))
ORVANE_FORWARD(avformat, AVRational, av_guess_sample_aspect_ratio,
               (AVFormatContext * format, AVStream* stream, AVFrame* frame), (format, stream, frame))
ORVANE_FORWARD(avformat, int, av_read_frame, (AVFormatContext * format, AVPacket* packet), (format, packet))
ORVANE_FORWARD(avformat, int, av_seek_frame, (AVFormatContext * format, int stream, int64_t timestamp, int flags),
               (format, stream, timestamp, flags))
ORVANE_FORWARD(avformat, AVFormatContext*, avformat_alloc_context, (void), ())
ORVANE_FORWARD(avformat, void, avformat_close_input, (AVFormatContext * *format), (format))
ORVANE_FORWARD(avformat, int, avformat_find_stream_info, (AVFormatContext * format, AVDictionary** options),
               (format, options))
ORVANE_FORWARD(avformat, void, avformat_free_context, (AVFormatContext * format), (format))
ORVANE_FORWARD(avformat, int, avformat_open_input,
               (AVFormatContext * *format, const char* url, const AVInputFormat* input, AVDictionary** options),
               (format, url, input, options))

ORVANE_FORWARD(swscale, void, sws_freeContext, (struct SwsContext * context), (context))
ORVANE_FORWARD(swscale, struct SwsContext*, sws_getCachedContext,
               (struct SwsContext * context, int sourceWidth, int sourceHeight, enum AVPixelFormat sourceFormat,
                int targetWidth, int targetHeight, enum AVPixelFormat targetFormat, int flags, SwsFilter* sourceFilter,
                SwsFilter* targetFilter, const double* parameters),
               (context, sourceWidth, sourceHeight, sourceFormat, targetWidth, targetHeight, targetFormat, flags,
                sourceFilter, targetFilter, parameters))
ORVANE_FORWARD(swscale, const int*, sws_getCoefficients, (int colorspace), (colorspace))
ORVANE_FORWARD(swscale, int, sws_scale,
               (struct SwsContext * context, const uint8_t* const source[], const int sourceStride[], int sliceY,
                int sliceHeight, uint8_t* const target[], const int targetStride[]),
               (context, source, sourceStride, sliceY, sliceHeight, target, targetStride))
ORVANE_FORWARD(swscale, int, sws_setColorspaceDetails,
               (struct SwsContext * context, const int inverseTable[4], int sourceRange, const int table[4],
                int targetRange, int brightness, int contrast, int saturation),
               (context, inverseTable, sourceRange, table, targetRange, brightness, contrast, saturation))
