#include "MiniMaxDownload.h"

#include "MiniMaxError.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>

#include <qcoro/qcoronetworkreply.h>

#include <memory>

namespace MiniMaxDownload {
namespace {

// Bounds what the network layer buffers ahead of the file, whatever the disk's pace.
constexpr qint64 kReadBufferBytes = 4 << 20;
// A transfer that delivers nothing for this long is given up.
constexpr int kStallTimeoutMs = 60000;

struct Progress {
    qint64 written = 0;
    bool writeFailed = false;
    QString writeError;
};

std::optional<int> httpStatus(const QNetworkReply* reply) {
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return std::nullopt;
    return status.toInt();
}

bool isSuccess(const QNetworkReply* reply) {
    const auto status = httpStatus(reply);
    return status && *status >= 200 && *status < 300;
}

// Moves what has arrived into the file. The body of an error answer is read and dropped.
void drain(QNetworkReply* reply, QSaveFile& file, Progress& progress) {
    while (reply->bytesAvailable() > 0) {
        const QByteArray chunk = reply->read(kReadBufferBytes);
        if (chunk.isEmpty())
            break;
        if (progress.writeFailed || !isSuccess(reply))
            continue;
        if (file.write(chunk) != chunk.size()) {
            progress.writeFailed = true;
            progress.writeError = file.errorString();
            reply->abort();
            return;
        }
        progress.written += chunk.size();
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

Result finish(QNetworkReply* reply, QSaveFile& file, const Progress& progress) {
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
    if (!file.commit())
        return failure(file.errorString(), false);
    Result result;
    result.ok = true;
    result.bytes = progress.written;
    return result;
}

} // namespace

QCoro::Task<Result> toFile(QNetworkAccessManager* network, QUrl url, QString path) {
    auto file = std::make_shared<QSaveFile>(path);
    if (!file->open(QIODevice::WriteOnly)) {
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
    const Result result = finish(reply, *file, *progress);
    if (!result.ok)
        file->cancelWriting();
    reply->deleteLater();
    co_return result;
}

} // namespace MiniMaxDownload
