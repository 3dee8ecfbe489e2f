#pragma once

#include <QImage>
#include <QSize>

#include <array>
#include <cstdint>
#include <vector>

struct AVFrame;
struct SwsContext;

// Makes decoded pictures ready to paint: each cut and scaled to fill a target size (centred, the aspect kept), as
// RGB32, in one pass of the library's scaler on the calling thread, straight from the decoder's planes. Nothing
// goes through a GPU context, which in a program without one would start a software rasteriser that keeps its
// threads and memory for good. One per converting thread: it keeps the scaler set up for the last format and
// sizes, and writes again into the memory of the pictures it made once nobody else holds them.
class VideoFrameScaler {
public:
    VideoFrameScaler() = default;
    ~VideoFrameScaler();
    VideoFrameScaler(const VideoFrameScaler&) = delete;
    VideoFrameScaler& operator=(const VideoFrameScaler&) = delete;

    // Null for an empty target, or a picture in a format the scaler does not read (a hardware surface, packed bits).
    QImage filled(const AVFrame& frame, QSize target);

    // Sets `context` to read the colours as `frame` codes them (its matrix and range), into full-range RGB. An
    // unmarked picture's matrix is guessed by its size, as a player would. Fails harmlessly for RGB sources.
    static void setColours(SwsContext* context, const AVFrame& frame);

private:
    // A picture of `size` to write into: one made before that only this holds, or a new one.
    QImage* canvas(QSize size);

    SwsContext* context_ = nullptr;
    // A large picture halved once and again, before the scaler.
    std::array<std::vector<uint8_t>, 2> halves_;
    // The picture on screen, one on its way there and one being made.
    std::array<QImage, 3> canvases_;
    size_t nextCanvas_ = 0;
};
