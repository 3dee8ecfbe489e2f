#pragma once

#include <QString>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <functional>

class QNetworkAccessManager;
class QObject;

// Streams one clip into a file as it arrives, so the clip is never held in memory. The file appears
// under its name only when the whole body has arrived (when no length was announced: when its boxes end with the
// file and the media probe reads it to its duration) and is on the disk at its full size; a failed transfer leaves
// nothing behind. A body
// that is not a clip is refused. The file is readable by its owner only.
namespace MiniMaxDownload {

// A transfer that brings less than the floor on average over the last window is given up as stalled
// (a server that holds the connection open, or trickles). Timed on the current clock.
constexpr double stallWindowSeconds = 60;
constexpr qint64 floorBytesPerSecond = 16 << 10;
constexpr double stallCheckSeconds = 5;
// What a transfer must bring in one window to count as progressing.
constexpr qint64 windowFloorBytes = qint64(stallWindowSeconds) * floorBytesPerSecond;

struct Result {
    bool ok = false;
    qint64 bytes = 0;
    QString error; // the failure's text when not ok
    bool retriable =
        false; // a dropped connection, a stall, a short or cut body, a body that is no clip, a server error
    bool writeFailed = false; // the folder could not take the clip (a full disk): another folder may
};

struct Options {
    // A body announced or found to be larger than this is refused (not retriable) and nothing is kept.
    qint64 maxBytes = 0;
    // The transfer is abandoned when this object goes, so the task awaiting it ends with it.
    QObject* owner = nullptr;
    // Told the bytes received so far each time more arrive.
    std::function<void(qint64 received)> progressed;
};

QCoro::Task<Result> toFile(QNetworkAccessManager* network, QUrl url, QString path, Options options);
// The text of a refused oversized body.
QString tooLargeText(qint64 maxBytes);
// The text of a body that ended before the whole clip (a connection closed early, with no length announced).
QString cutShortText();
// The text of a transfer given up as stalled.
QString stalledText();
// The text of a body refused because it is not a clip (an error page answered as a success); `contentType` is
// what the server said it sent, when it said.
QString notAVideoText(const QString& contentType);

} // namespace MiniMaxDownload
