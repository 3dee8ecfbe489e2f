#include "MiniMaxDownload.h"

#include "AppPaths.h"
#include "CheckedWrite.h"
#include "Clock.h"
#include "MediaProbe.h"
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

#include <qcoro/qcorofuture.h>

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
    bool notVideo = false;
    QString writeError;
    QString contentType;
    QByteArray head; // the body's first bytes, enough to tell a clip
    QByteArray buffer;
    // Bytes received at each check of the last window, oldest first.
    QList<qint64> samples{0};
    std::function<void(qint64)> progressed;
};

constexpr qsizetype kHeadBytes = 8;

bool isSuccess(const QNetworkReply* reply) {
    const auto status = httpStatus(reply);
    return status && *status >= 200 && *status < 300;
}

// A type that names a page or a message rather than binary data: an error page answered as a success.
bool namesText(const QString& contentType) {
    const QString type = contentType.section(';', 0, 0).trimmed().toLower();
    return type.startsWith(QLatin1String("text/")) || type.contains(QLatin1String("html")) ||
           type.contains(QLatin1String("json")) || type.contains(QLatin1String("xml")) ||
           type.contains(QLatin1String("javascript"));
}

void refuseAsNotVideo(QNetworkReply* reply, Progress& progress) {
    progress.notVideo = true;
    reply->abort();
}

// Moves what has arrived into the file. The body of an error answer is read and dropped.
void drain(QNetworkReply* reply, QFile& file, Progress& progress) {
    if (progress.buffer.isEmpty())
        progress.buffer.resize(kChunkBytes);
    if (progress.writeFailed || progress.tooLarge || progress.notVideo)
        return;
    bool lengthKnown = false;
    const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&lengthKnown);
    if (isSuccess(reply) && lengthKnown && announced > progress.maxBytes) {
        progress.tooLarge = true;
        reply->abort();
        return;
    }
    if (isSuccess(reply) && progress.received == 0) {
        progress.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toString();
        if (namesText(progress.contentType)) {
            refuseAsNotVideo(reply, progress);
            return;
        }
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
        if (progress.head.size() < kHeadBytes) {
            progress.head += QByteArray(progress.buffer.constData(), qMin(got, kHeadBytes - progress.head.size()));
            if (progress.head.size() == kHeadBytes && !AppPaths::startsLikeClip(progress.head)) {
                refuseAsNotVideo(reply, progress);
                return;
            }
        }
        if (!CheckedWrite::writeAll(file, progress.buffer.constData(), got, &progress.writeError)) {
            progress.writeFailed = true;
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

Result writeFailure(const QString& error) {
    Result result = failure(error, false);
    result.writeFailed = true;
    return result;
}

// Whether the transfer's own framing vouches for the body's end: a length announced for the bytes as sent. A body
// that ends where the connection closes looks whole however early it was cut.
bool lengthVouchesForEnd(const QNetworkReply* reply) {
    bool lengthKnown = false;
    reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&lengthKnown);
    return lengthKnown && !bodyIsEncoded(reply);
}

// Every check of the answer and the body short of the clip's contents; ok when all passed.
Result finish(QNetworkReply* reply, QFile& file, const Progress& progress) {
    if (progress.writeFailed)
        return writeFailure(progress.writeError);
    if (progress.tooLarge)
        return failure(tooLargeText(progress.maxBytes), false);
    if (progress.notVideo)
        return failure(notAVideoText(progress.contentType), true);
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
    const qint64 expected = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    const bool shortBody = lengthVouchesForEnd(reply) && progress.written != expected;
    if (progress.written == 0 || shortBody)
        return failure(MiniMaxError::invalidResponse().localizedDescription(), true);
    if (!AppPaths::startsLikeClip(progress.head))
        return failure(notAVideoText(progress.contentType), true);
    // Every byte must be in the file before it takes its name. The sync to disk is left to the filing, which
    // runs on a worker and does it before the clip is called kept.
    QString why;
    if (!file.flush())
        return writeFailure(file.errorString());
    if (!CheckedWrite::holdsAll(file.handle(), progress.written, &why))
        return writeFailure(why);
    Result result;
    result.ok = true;
    result.bytes = progress.written;
    return result;
}

// Whether the file's top-level boxes end exactly where it ends: a clip cut short ends inside its last box, wherever
// its index lies. A few small reads of a file just written.
bool boxesEndWithFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const auto bigEndian = [](const QByteArray& bytes) {
        quint64 value = 0;
        for (const char byte : bytes)
            value = value << 8 | quint8(byte);
        return value;
    };
    const qint64 end = file.size();
    qint64 at = 0;
    while (at < end) {
        if (!file.seek(at))
            return false;
        const QByteArray header = file.read(16);
        if (header.size() < 8)
            return false;
        quint64 size = bigEndian(header.left(4));
        if (size == 0) // the last box, up to the end
            return true;
        if (size == 1 && header.size() == 16)
            size = bigEndian(header.mid(8, 8));
        if (size < 8 || size > quint64(end - at))
            return false;
        at += qint64(size);
    }
    return true;
}

Result claimName(QFile& file, const QString& path, Result checked) {
    file.close();
    const auto moved = NoReplaceMove::move(file.fileName(), path);
    if (moved.outcome != NoReplaceMove::Outcome::moved)
        return writeFailure(moved.outcome == NoReplaceMove::Outcome::nameTaken
                                ? QStringLiteral("%1 already exists").arg(path)
                                : moved.error);
    return checked;
}

} // namespace

QString tooLargeText(qint64 maxBytes) {
    return QStringLiteral("The clip is larger than %1 and was not kept.")
        .arg(QLocale::c().formattedDataSize(maxBytes, 0, QLocale::DataSizeIecFormat));
}

QString notAVideoText(const QString& contentType) {
    const QString type = contentType.section(';', 0, 0).trimmed();
    return type.isEmpty() || !namesText(type) ? QStringLiteral("The server sent something that is not a video.")
                                              : QStringLiteral("The server sent %1 instead of a video.").arg(type);
}

QString cutShortText() {
    return QStringLiteral("The download ended before the whole clip arrived.");
}

QString stalledText() {
    return QStringLiteral("The download stalled: less than %1 KB/s arrived over the last %2 seconds.")
        .arg(floorBytesPerSecond >> 10)
        .arg(stallWindowSeconds);
}

QCoro::Task<Result> toFile(QNetworkAccessManager* network, QUrl url, QString path, Options options) {
    auto file = std::make_shared<QFile>(path + ".part");
    // Created private, not tightened afterwards: no other user can open it in between. Unbuffered, so a full
    // disk is seen at the write that meets it.
    if (!file->open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered,
                    QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        Result opened = failure(file->errorString(), false);
        opened.writeFailed = true;
        co_return opened;
    }
    // The clip may come from the service's own host: its connection is not kept either.
    QNetworkRequest request(url);
    NetworkAccess::closeConnectionAfterAnswer(request);
    const ServiceReply::Owned owned(network->get(request));
    QNetworkReply* reply = owned.get();
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
    Result result = finish(reply, *file, *progress);
    if (result.ok && !lengthVouchesForEnd(reply)) {
        bool whole = boxesEndWithFile(file->fileName());
        if (whole) {
            QFuture<MediaProbe::Result> probing = MediaProbe::probeAsync(file->fileName());
            const MediaProbe::Result probed = co_await probing;
            whole = probed.ok() && probed.duration.has_value();
        }
        if (!whole)
            result = failure(cutShortText(), true);
    }
    if (result.ok)
        result = claimName(*file, path, result);
    if (!result.ok)
        file->remove();
    co_return result;
}

} // namespace MiniMaxDownload
