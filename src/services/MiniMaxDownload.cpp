#include "MiniMaxDownload.h"

#include "Clock.h"
#include "MiniMaxError.h"
#include "NetworkAccess.h"
#include "NoReplaceMove.h"
#include "ServiceReply.h"

#include <QFile>
#include <QList>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <memory>

namespace MiniMaxDownload {
namespace {

using ServiceReply::httpStatus;

// Bounds what the network layer buffers ahead of the file, whatever the disk's pace. Measured on loopback:
// far smaller buffers cost throughput in thread hand-overs, far larger ones only cost memory.
constexpr qint64 kReadBufferBytes = 512 << 10;
constexpr qint64 kChunkBytes = 1 << 20;
constexpr int kChecksPerWindow = int(stallWindowSeconds / stallCheckSeconds);

struct Progress {
    qint64 received = 0; // every byte of the body read so far, kept or not
    qint64 written = 0;
    qint64 maxBytes = 0;
    bool writeFailed = false;
    bool tooLarge = false;
    bool stalled = false;
    QString writeError;
    QByteArray buffer;
    // Bytes received at each check of the last window, oldest first.
    QList<qint64> samples{0};
    std::function<void(qint64)> progressed;
};

bool isSuccess(const QNetworkReply* reply) {
    const auto status = httpStatus(reply);
    return status && *status >= 200 && *status < 300;
}

// Moves what has arrived into the file. The body of an error answer is read and dropped.
void drain(QNetworkReply* reply, QFile& file, Progress& progress) {
    if (progress.buffer.isEmpty())
        progress.buffer.resize(kChunkBytes);
    if (progress.writeFailed || progress.tooLarge)
        return;
    bool lengthKnown = false;
    const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&lengthKnown);
    if (isSuccess(reply) && lengthKnown && announced > progress.maxBytes) {
        progress.tooLarge = true;
        reply->abort();
        return;
    }
    for (;;) {
        const qint64 got = reply->read(progress.buffer.data(), progress.buffer.size());
        if (got <= 0)
            break;
        progress.received += got;
        if (progress.progressed)
            progress.progressed(progress.received);
        if (!isSuccess(reply))
            continue;
        if (got > progress.maxBytes - progress.written) {
            progress.tooLarge = true;
            reply->abort();
            return;
        }
        if (file.write(progress.buffer.constData(), got) != got) {
            progress.writeFailed = true;
            progress.writeError = file.errorString();
            reply->abort();
            return;
        }
        progress.written += got;
    }
}

// Every few seconds, looks at what the last window brought; a stalled transfer is aborted. The timed call
// goes with the reply, so nothing is left waiting once the transfer has ended.
void watchForStall(QNetworkReply* reply, std::shared_ptr<Progress> progress) {
    Clock::current().callAfter(stallCheckSeconds, reply, [reply, progress] {
        if (reply->isFinished())
            return;
        progress->samples.append(progress->received);
        if (progress->samples.size() > kChecksPerWindow &&
            progress->received - progress->samples.takeFirst() < windowFloorBytes) {
            progress->stalled = true;
            reply->abort();
            return;
        }
        watchForStall(reply, progress);
    });
}

Result failure(const QString& error, bool retriable) {
    Result result;
    result.error = error;
    result.retriable = retriable;
    return result;
}

bool bodyIsEncoded(const QNetworkReply* reply) {
    const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
    return !encoding.isEmpty() && encoding != "identity";
}

Result finish(QNetworkReply* reply, QFile& file, const QString& path, const Progress& progress) {
    if (progress.writeFailed)
        return failure(progress.writeError, false);
    if (progress.tooLarge)
        return failure(tooLargeText(progress.maxBytes), false);
    if (progress.stalled)
        return failure(stalledText(), true);
    const auto status = httpStatus(reply);
    if (!status)
        return failure(reply->errorString(), true);
    if (*status < 200 || *status >= 300)
        return failure(MiniMaxError::httpError(*status).localizedDescription(),
                       *status >= 500 || *status == 408 || *status == 429);
    if (reply->error() != QNetworkReply::NoError)
        return failure(reply->errorString(), true);
    bool lengthKnown = false;
    const qint64 expected = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&lengthKnown);
    const bool shortBody = lengthKnown && !bodyIsEncoded(reply) && progress.written != expected;
    if (progress.written == 0 || shortBody)
        return failure(MiniMaxError::invalidResponse().localizedDescription(), true);
    // A clip in the temporary folder needs no sync to disk; the rename alone makes it appear whole.
    file.close();
    const auto moved = NoReplaceMove::move(file.fileName(), path);
    if (moved.outcome != NoReplaceMove::Outcome::moved)
        return failure(moved.outcome == NoReplaceMove::Outcome::nameTaken
                           ? QStringLiteral("%1 already exists").arg(path)
                           : moved.error,
                       false);
    Result result;
    result.ok = true;
    result.bytes = progress.written;
    return result;
}

} // namespace

QString tooLargeText(qint64 maxBytes) {
    return QStringLiteral("The clip is larger than %1 and was not kept.")
        .arg(QLocale::c().formattedDataSize(maxBytes, 0, QLocale::DataSizeIecFormat));
}

QString stalledText() {
    return QStringLiteral("The download stalled: less than %1 KB/s arrived over the last %2 seconds.")
        .arg(floorBytesPerSecond >> 10)
        .arg(stallWindowSeconds);
}

QCoro::Task<Result> toFile(QNetworkAccessManager* network, QUrl url, QString path, Options options) {
    auto file = std::make_shared<QFile>(path + ".part");
    // Created private, not tightened afterwards: no other user can open it in between.
    if (!file->open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        const Result opened = failure(file->errorString(), false);
        co_return opened;
    }
    // The clip may come from the service's own host: its connection is not kept either.
    QNetworkRequest request(url);
    NetworkAccess::closeConnectionAfterAnswer(request);
    QNetworkReply* reply = network->get(request);
    reply->setReadBufferSize(kReadBufferBytes);
    if (options.owner)
        QObject::connect(options.owner, &QObject::destroyed, reply, &QNetworkReply::abort);
    auto progress = std::make_shared<Progress>();
    progress->maxBytes = options.maxBytes;
    progress->progressed = std::move(options.progressed);
    QObject::connect(reply, &QNetworkReply::readyRead, reply,
                     [reply, file, progress] { drain(reply, *file, *progress); });
    watchForStall(reply, progress);
    ServiceReply::Finished ended(reply);
    co_await ended;
    drain(reply, *file, *progress);
    const Result result = finish(reply, *file, path, *progress);
    if (!result.ok)
        file->remove();
    reply->deleteLater();
    co_return result;
}

} // namespace MiniMaxDownload
