#pragma once

#include <QFuture>
#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

class QThreadPool;

// Duration, display size and stills of video files, read with the FFmpeg libraries. A call opens the file,
// reads what it needs and closes it again; calls share nothing but a per-thread scaler, so any number may
// run at once. Broken, truncated, empty or non-video files give an error text, never a crash or a hang.
namespace MediaProbe {

// Larger videos are refused before anything is decoded.
constexpr int kMaxVideoSide = 16384;
constexpr qint64 kMaxVideoPixels = qint64(8192) * 4352;
// A still is never larger than this on either side, whatever the bound asked for.
constexpr int kMaxStillSide = 4096;

struct Request {
    // Take a still showing this time (seconds from the start); none reads only duration and size.
    std::optional<double> stillAt;
    // The still is scaled down (never up) to fit this box, aspect kept; an empty box keeps the display size.
    QSize bound;
};

struct Result {
    // Empty on success. When a still was asked for and none could be made, the error says why and the
    // duration and size are still filled in when they were read.
    QString error;
    std::optional<double> duration; // seconds
    QSize displaySize;              // as shown: sample aspect and rotation applied
    int rotation = 0;               // clockwise degrees the stored frames are turned to be shown: 0/90/180/270
    QImage still;                   // upright, within the bound
    bool ok() const { return error.isEmpty(); }
};

// Runs on the calling thread.
Result probe(const QString& path, const Request& request = {});
// Runs on the probe pool; a coroutine that awaits the future resumes on its own (GUI) thread.
QFuture<Result> probeAsync(const QString& path, const Request& request = {});
// The worker pool: one thread per core.
QThreadPool& pool();

} // namespace MediaProbe
