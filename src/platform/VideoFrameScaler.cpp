#include "VideoFrameScaler.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

// The matrix the picture's colours were coded with; an unmarked picture as a player would guess it, by its size.
int matrixOf(const AVFrame& frame) {
    switch (frame.colorspace) {
    case AVCOL_SPC_BT709:
        return SWS_CS_ITU709;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
        return SWS_CS_ITU601;
    case AVCOL_SPC_FCC:
        return SWS_CS_FCC;
    case AVCOL_SPC_SMPTE240M:
        return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return SWS_CS_BT2020;
    default:
        return frame.height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

bool fullRange(const AVFrame& frame) {
    switch (frame.format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P:
        return true;
    default:
        return frame.color_range == AVCOL_RANGE_JPEG;
    }
}

// Planar YUV of one byte a sample: each plane can be halved on its own and stays the same layout.
bool halvable(AVPixelFormat format) {
    switch (format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_YUVJ444P:
        return true;
    default:
        return false;
    }
}

// One row of half the width from two rows: each sample the rounded mean of a two by two block.
void halveRow(const uint8_t* above, const uint8_t* below, uint8_t* out, int width) {
    int x = 0;
#ifdef __SSE2__
    const __m128i low = _mm_set1_epi16(0x00ff);
    const __m128i two = _mm_set1_epi16(2);
    // Each two neighbours summed, in sixteen bits.
    const auto pairs = [low](__m128i v) { return _mm_add_epi16(_mm_and_si128(v, low), _mm_srli_epi16(v, 8)); };
    const auto load = [](const uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
    for (; x + 16 <= width; x += 16) {
        const uint8_t* a = above + 2 * x;
        const uint8_t* b = below + 2 * x;
        const __m128i first = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(pairs(load(a)), pairs(load(b))), two), 2);
        const __m128i second =
            _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(pairs(load(a + 16)), pairs(load(b + 16))), two), 2);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(first, second));
    }
#endif
    for (; x < width; ++x)
        out[x] = uint8_t((above[2 * x] + above[2 * x + 1] + below[2 * x] + below[2 * x + 1] + 2) >> 2);
}

// The width a picture is made at: the library fills rows of a multiple of four pixels several times faster than
// others, so a picture is made a little wider and shown without its outermost columns.
int madeWidth(int width) {
    return (width + 3) / 4 * 4;
}

} // namespace

VideoFrameScaler::~VideoFrameScaler() {
    sws_freeContext(context_);
}

QImage* VideoFrameScaler::canvas(QSize size) {
    for (QImage& image : canvases_) {
        // Held by nobody else: whoever painted it has let it go, and its writes to it are done.
        if (image.size() == size && image.isDetached()) {
            std::atomic_thread_fence(std::memory_order_acquire);
            return &image;
        }
    }
    auto free = std::find_if(canvases_.begin(), canvases_.end(),
                             [](const QImage& image) { return image.isNull() || image.isDetached(); });
    QImage* slot = free != canvases_.end() ? &*free : &canvases_[nextCanvas_++ % canvases_.size()];
    // The picture is the middle of rows made wider; the rows go with the last picture that shows them.
    auto* rows = new QImage(madeWidth(size.width()), size.height(), QImage::Format_RGB32);
    const int margin = (rows->width() - size.width()) / 2;
    *slot = rows->isNull() ? QImage()
                           : QImage(
                                 rows->bits() + 4 * margin, size.width(), size.height(), rows->bytesPerLine(),
                                 QImage::Format_RGB32, [](void* made) { delete static_cast<QImage*>(made); }, rows);
    if (slot->isNull()) {
        delete rows;
        return nullptr;
    }
    return slot;
}

QImage VideoFrameScaler::filled(const AVFrame& frame, QSize target) {
    const auto format = AVPixelFormat(frame.format);
    const AVPixFmtDescriptor* layout = av_pix_fmt_desc_get(format);
    const QSize size(frame.width, frame.height);
    if (!layout || (layout->flags & (AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM)) || size.isEmpty() ||
        target.isEmpty())
        return {};

    // The centred part of the picture with the shape it is made at, starting on a whole chroma sample.
    const QSize made(madeWidth(target.width()), target.height());
    const double scale = std::max(double(made.width()) / size.width(), double(made.height()) / size.height());
    const int cutWidth = std::clamp(int(std::lround(made.width() / scale)), 1, size.width());
    const int cutHeight = std::clamp(int(std::lround(made.height() / scale)), 1, size.height());
    const int xAlign = 1 << layout->log2_chroma_w;
    const int yAlign = 1 << layout->log2_chroma_h;
    const int left = (size.width() - cutWidth) / 2 / xAlign * xAlign;
    const int top = (size.height() - cutHeight) / 2 / yAlign * yAlign;

    const uint8_t* planes[4] = {};
    int strides[4] = {};
    for (int p = 0; p < 4 && frame.data[p]; ++p) {
        planes[p] = frame.data[p];
        strides[p] = frame.linesize[p];
        if ((layout->flags & AV_PIX_FMT_FLAG_PAL) && p == 1)
            break; // the palette, not a plane of pixels
        const AVComponentDescriptor* component =
            std::find_if(layout->comp, layout->comp + layout->nb_components,
                         [p](const AVComponentDescriptor& c) { return c.plane == p; });
        if (component == layout->comp + layout->nb_components)
            return {};
        const bool chroma = p == 1 || p == 2;
        planes[p] += qsizetype(top >> (chroma ? layout->log2_chroma_h : 0)) * strides[p] +
                     qsizetype(left >> (chroma ? layout->log2_chroma_w : 0)) * component->step;
    }

    // A picture at least twice the target's size is first halved, plane by plane, as often as it stays so: an
    // average of two by two samples costs a fraction of the library's area filter over the same samples, and the
    // filter then works on a quarter of them. Together they average the same areas as the filter alone would.
    int width = cutWidth, height = cutHeight;
    for (int round = 0; halvable(format) && width >= 2 * made.width() && height >= 2 * made.height(); ++round) {
        const int halfWidth = width / 2 / xAlign * xAlign;
        const int halfHeight = height / 2 / yAlign * yAlign;
        std::vector<uint8_t>& half = halves_[round % 2];
        // Rows start on 64 bytes; room past the last for the scaler's wide reads.
        const int stride = (halfWidth + 63) / 64 * 64;
        const qsizetype lumaBytes = qsizetype(stride) * halfHeight;
        const qsizetype chromaBytes = qsizetype(stride) * (halfHeight / yAlign);
        half.resize(size_t(lumaBytes + 2 * chromaBytes + 64));
        for (int p = 0; p < 3; ++p) {
            uint8_t* out = half.data() + (p == 0 ? 0 : lumaBytes + (p - 1) * chromaBytes);
            const int rows = p == 0 ? halfHeight : halfHeight / yAlign;
            const int columns = p == 0 ? halfWidth : halfWidth / xAlign;
            for (int row = 0; row < rows; ++row) {
                const uint8_t* above = planes[p] + qsizetype(2 * row) * strides[p];
                halveRow(above, above + strides[p], out + qsizetype(row) * stride, columns);
            }
            planes[p] = out;
            strides[p] = stride;
        }
        width = halfWidth;
        height = halfHeight;
    }

    const bool shrinking = made.width() <= width && made.height() <= height;
    // At the same size the library takes shortcuts that assume aligned, whole-block rows, which a cut is not.
    const int exact = made == QSize(width, height) ? SWS_ACCURATE_RND : 0;
    // Null for a format the scaler does not read; a context set up for other sizes is freed either way.
    context_ = sws_getCachedContext(context_, width, height, format, made.width(), made.height(), AV_PIX_FMT_RGB32,
                                    (shrinking ? SWS_AREA : SWS_BICUBIC) | exact, nullptr, nullptr, nullptr);
    if (!context_)
        return {};
    setColours(context_, frame);
    QImage* image = canvas(target);
    if (!image)
        return {};
    uint8_t* out[4] = {image->bits() - 4 * ((made.width() - target.width()) / 2), nullptr, nullptr, nullptr};
    const int outStrides[4] = {int(image->bytesPerLine()), 0, 0, 0};
    if (sws_scale(context_, planes, strides, 0, height, out, outStrides) <= 0)
        return {};
    return *image;
}

void VideoFrameScaler::setColours(SwsContext* context, const AVFrame& frame) {
    sws_setColorspaceDetails(context, sws_getCoefficients(matrixOf(frame)), fullRange(frame) ? 1 : 0,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
}
