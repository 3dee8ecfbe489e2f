#include "VideoFrameScaler.h"

#include <algorithm>
#include <atomic>
#include <cmath>

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
    *slot = QImage(size, QImage::Format_RGB32);
    return slot->isNull() ? nullptr : slot;
}

QImage VideoFrameScaler::filled(const AVFrame& frame, QSize target) {
    const auto format = AVPixelFormat(frame.format);
    const AVPixFmtDescriptor* layout = av_pix_fmt_desc_get(format);
    const QSize size(frame.width, frame.height);
    if (!layout || (layout->flags & (AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM)) || size.isEmpty() ||
        target.isEmpty())
        return {};

    // The centred part of the picture with the target's shape, starting on a whole chroma sample.
    const double scale = std::max(double(target.width()) / size.width(), double(target.height()) / size.height());
    const int cutWidth = std::clamp(int(std::lround(target.width() / scale)), 1, size.width());
    const int cutHeight = std::clamp(int(std::lround(target.height() / scale)), 1, size.height());
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

    const bool shrinking = target.width() <= cutWidth && target.height() <= cutHeight;
    // At the same size the library takes shortcuts that assume aligned, whole-block rows, which a cut is not.
    const int exact = target == QSize(cutWidth, cutHeight) ? SWS_ACCURATE_RND : 0;
    // Null for a format the scaler does not read; a context set up for other sizes is freed either way.
    context_ =
        sws_getCachedContext(context_, cutWidth, cutHeight, format, target.width(), target.height(), AV_PIX_FMT_RGB32,
                             (shrinking ? SWS_AREA : SWS_BICUBIC) | exact, nullptr, nullptr, nullptr);
    if (!context_)
        return {};
    // Fails harmlessly for RGB sources, which have no matrix.
    sws_setColorspaceDetails(context_, sws_getCoefficients(matrixOf(frame)), fullRange(frame) ? 1 : 0,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    QImage* image = canvas(target);
    if (!image)
        return {};
    uint8_t* out[4] = {image->bits(), nullptr, nullptr, nullptr};
    const int outStrides[4] = {int(image->bytesPerLine()), 0, 0, 0};
    if (sws_scale(context_, planes, strides, 0, cutHeight, out, outStrides) <= 0)
        return {};
    return *image;
}
