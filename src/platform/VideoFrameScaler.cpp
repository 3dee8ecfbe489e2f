#include "VideoFrameScaler.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

extern "C" {
#include <libswscale/swscale.h>
}

namespace VideoFrameScaler {
namespace {

// How a pixel format lies in memory: FFmpeg's name for it, and per plane the bytes of one stored unit and how many
// pixels it spans across (xShift) and down (yShift), as powers of two.
struct Layout {
    AVPixelFormat format;
    int planes;
    std::array<int, 3> bytes;
    std::array<int, 3> xShift;
    std::array<int, 3> yShift;
    bool swapChroma = false; // the second and third planes are stored V before U
};

std::optional<Layout> layoutOf(QVideoFrameFormat::PixelFormat format) {
    using F = QVideoFrameFormat;
    // The 8-bit RGB formats are named in memory order, as FFmpeg's are.
    const auto packed = [](AVPixelFormat av, int bytes) { return Layout{av, 1, {bytes, 0, 0}, {}, {}}; };
    switch (format) {
    case F::Format_YUV420P:
        return Layout{AV_PIX_FMT_YUV420P, 3, {1, 1, 1}, {0, 1, 1}, {0, 1, 1}};
    case F::Format_YV12:
        return Layout{AV_PIX_FMT_YUV420P, 3, {1, 1, 1}, {0, 1, 1}, {0, 1, 1}, true};
    case F::Format_YUV422P:
        return Layout{AV_PIX_FMT_YUV422P, 3, {1, 1, 1}, {0, 1, 1}, {0, 0, 0}};
    case F::Format_YUV420P10:
        return Layout{AV_PIX_FMT_YUV420P10LE, 3, {2, 2, 2}, {0, 1, 1}, {0, 1, 1}};
    case F::Format_NV12:
        return Layout{AV_PIX_FMT_NV12, 2, {1, 2, 0}, {0, 1, 0}, {0, 1, 0}};
    case F::Format_NV21:
        return Layout{AV_PIX_FMT_NV21, 2, {1, 2, 0}, {0, 1, 0}, {0, 1, 0}};
    case F::Format_P010:
        return Layout{AV_PIX_FMT_P010LE, 2, {2, 4, 0}, {0, 1, 0}, {0, 1, 0}};
    case F::Format_P016:
        return Layout{AV_PIX_FMT_P016LE, 2, {2, 4, 0}, {0, 1, 0}, {0, 1, 0}};
    // Two pixels are stored together in four bytes, with the chroma they share.
    case F::Format_UYVY:
        return Layout{AV_PIX_FMT_UYVY422, 1, {4, 0, 0}, {1, 0, 0}, {}};
    case F::Format_YUYV:
        return Layout{AV_PIX_FMT_YUYV422, 1, {4, 0, 0}, {1, 0, 0}, {}};
    case F::Format_ARGB8888:
    case F::Format_ARGB8888_Premultiplied:
        return packed(AV_PIX_FMT_ARGB, 4);
    case F::Format_XRGB8888:
        return packed(AV_PIX_FMT_0RGB, 4);
    case F::Format_BGRA8888:
    case F::Format_BGRA8888_Premultiplied:
        return packed(AV_PIX_FMT_BGRA, 4);
    case F::Format_BGRX8888:
        return packed(AV_PIX_FMT_BGR0, 4);
    case F::Format_ABGR8888:
        return packed(AV_PIX_FMT_ABGR, 4);
    case F::Format_XBGR8888:
        return packed(AV_PIX_FMT_0BGR, 4);
    case F::Format_RGBA8888:
        return packed(AV_PIX_FMT_RGBA, 4);
    case F::Format_RGBX8888:
        return packed(AV_PIX_FMT_RGB0, 4);
    case F::Format_Y8:
        return packed(AV_PIX_FMT_GRAY8, 1);
    case F::Format_Y16:
        return packed(AV_PIX_FMT_GRAY16LE, 2);
    default:
        return std::nullopt;
    }
}

int swsColorspace(const QVideoFrameFormat& format) {
    switch (format.colorSpace()) {
    case QVideoFrameFormat::ColorSpace_BT601:
        return SWS_CS_ITU601;
    case QVideoFrameFormat::ColorSpace_BT709:
        return SWS_CS_ITU709;
    case QVideoFrameFormat::ColorSpace_BT2020:
        return SWS_CS_BT2020;
    default:
        return format.frameHeight() >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

// One scaler per converting thread, reused while the format and the sizes stay the same.
struct ThreadScaler {
    SwsContext* context = nullptr;
    ~ThreadScaler() { sws_freeContext(context); }
};

} // namespace

bool converts(QVideoFrameFormat::PixelFormat format) {
    return layoutOf(format).has_value();
}

QImage filled(const QVideoFrame& frame, QSize target) {
    const std::optional<Layout> layout = layoutOf(frame.pixelFormat());
    const QSize size = frame.size();
    if (!layout || size.isEmpty() || target.isEmpty())
        return {};
    QVideoFrame mapped = frame;
    if (!mapped.map(QVideoFrame::ReadOnly))
        return {};
    if (mapped.planeCount() < layout->planes) {
        mapped.unmap();
        return {};
    }

    // The centred part of the picture with the target's shape, starting on a whole chroma sample.
    const double scale = std::max(double(target.width()) / size.width(), double(target.height()) / size.height());
    const int cutWidth = std::clamp(int(std::lround(target.width() / scale)), 1, size.width());
    const int cutHeight = std::clamp(int(std::lround(target.height() / scale)), 1, size.height());
    int xAlign = 1, yAlign = 1;
    for (int p = 0; p < layout->planes; ++p) {
        xAlign = std::max(xAlign, 1 << layout->xShift[p]);
        yAlign = std::max(yAlign, 1 << layout->yShift[p]);
    }
    const int left = (size.width() - cutWidth) / 2 / xAlign * xAlign;
    const int top = (size.height() - cutHeight) / 2 / yAlign * yAlign;

    const uint8_t* planes[4] = {};
    int strides[4] = {};
    for (int p = 0; p < layout->planes; ++p) {
        const int stored = layout->swapChroma && p > 0 ? 3 - p : p;
        strides[p] = mapped.bytesPerLine(stored);
        planes[p] = mapped.bits(stored) + qsizetype(top >> layout->yShift[p]) * strides[p] +
                    qsizetype(left >> layout->xShift[p]) * layout->bytes[p];
    }

    thread_local ThreadScaler scaler;
    const bool shrinking = target.width() <= cutWidth && target.height() <= cutHeight;
    // At the same size the library takes shortcuts that assume aligned, whole-block rows, which a cut is not.
    const int exact = target == QSize(cutWidth, cutHeight) ? SWS_ACCURATE_RND : 0;
    SwsContext* context =
        sws_getCachedContext(scaler.context, cutWidth, cutHeight, layout->format, target.width(), target.height(),
                             AV_PIX_FMT_RGB32, (shrinking ? SWS_AREA : SWS_BICUBIC) | exact, nullptr, nullptr, nullptr);
    QImage image;
    if (context) {
        scaler.context = context;
        const QVideoFrameFormat format = frame.surfaceFormat();
        // Fails harmlessly for RGB sources, which have no matrix.
        sws_setColorspaceDetails(context, sws_getCoefficients(swsColorspace(format)),
                                 format.colorRange() == QVideoFrameFormat::ColorRange_Full ? 1 : 0,
                                 sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
        image = QImage(target, QImage::Format_RGB32);
        uint8_t* out[4] = {image.bits(), nullptr, nullptr, nullptr};
        int outStrides[4] = {int(image.bytesPerLine()), 0, 0, 0};
        if (image.isNull() || sws_scale(context, planes, strides, 0, cutHeight, out, outStrides) <= 0)
            image = QImage();
    }
    mapped.unmap();
    return image;
}

} // namespace VideoFrameScaler
