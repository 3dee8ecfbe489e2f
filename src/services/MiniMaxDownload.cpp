#include "MiniMaxDownload.h"

#include "MiniMaxError.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <qcoro/qcoronetworkreply.h>

#include <memory>

namespace MiniMaxDownload {
namespace {

// Bounds what the network layer buffers ahead of the file, whatever the disk's pace. Measured on loopback:
// far smaller buffers cost throughput in thread hand-overs, far larger ones only cost memory.
constexpr qint64 kReadBufferBytes = 512 << 10;
constexpr qint64 kChunkBytes = 1 << 20;
// A transfer that delivers nothing for this long is given up.
constexpr int kStallTimeoutMs = 60000;

struct Progress {
    qint64 written = 0;
    bool writeFailed = false;
    QString writeError;
    QByteArray buffer;
};

bool isSuccess(const QNetworkReply* reply) {
    const auto status = httpStatus(reply);
    return status && *status >= 200 && *status < 300;
}

// Moves what has arrived into the file. The body of an error answer is read and dropped.
void drain(QNetworkReply* reply, QFile& file, Progress& progress) {
    if (progress.buffer.isEmpty())
        progress.buffer.resize(kChunkBytes);
    for (;;) {
        const qint64 got = reply->read(progress.buffer.data(), progress.buffer.size());
        if (got <= 0)
            break;
        if (progress.writeFailed || !isSuccess(reply))
            continue;
        if (file.write(progress.buffer.constData(), got) != got) {
            progress.writeFailed = true;
            progress.writeError = file.errorString();
            reply->abort();
            return;
        }
        progress.written += got;
    }
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
    if (!file.rename(path))
        return failure(file.errorString(), false);
    Result result;
    result.ok = true;
    result.bytes = progress.written;
    return result;
}

} // namespace

QCoro::Task<Result> toFile(QNetworkAccessManager* network, QUrl url, QString path) {
    auto file = std::make_shared<QFile>(path + ".part");
    if (!file->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        const Result opened = failure(file->errorString(), false);
        co_return opened;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(kStallTimeoutMs);
    QNetworkReply* reply = network->get(request);
    reply->setReadBufferSize(kReadBufferBytes);
    auto progress = std::make_shared<Progress>();
    QObject::connect(reply, &QNetworkReply::readyRead, reply,
                     [reply, file, progress] { drain(reply, *file, *progress); });
    co_await reply;
    drain(reply, *file, *progress);
    const Result result = finish(reply, *file, path, *progress);
    if (!result.ok)
        file->remove();
    reply->deleteLater();
    co_return result;
}

std::optional<int> httpStatus(const QNetworkReply* reply) {
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return std::nullopt;
    return status.toInt();
}

} // namespace MiniMaxDownload
