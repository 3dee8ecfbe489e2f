#pragma once

#include <QImage>
#include <QSize>
#include <QVideoFrame>

namespace VideoFrameScaler {

// The frame's picture cut and scaled to fill `target` (centred, the aspect kept), as RGB32. The frame's memory
// is mapped and converted on the calling thread's processor in one pass, straight to the target size: nothing
// goes through a GPU context, which in a program without one would start a software rasteriser that keeps its
// threads and memory for good. Null for a frame that cannot be mapped or a pixel format it does not know.
QImage filled(const QVideoFrame& frame, QSize target);

// Whether filled() knows the format.
bool converts(QVideoFrameFormat::PixelFormat format);

} // namespace VideoFrameScaler
