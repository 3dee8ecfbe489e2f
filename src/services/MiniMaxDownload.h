#pragma once

#include <QString>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

// Streams one clip into a file as it arrives, so the clip is never held in memory. The file appears
// under its name only when the whole body has arrived; a failed transfer leaves nothing behind.
namespace MiniMaxDownload {

struct Result {
    bool ok = false;
    qint64 bytes = 0;
    QString error;          // the failure's text when not ok
    bool retriable = false; // a dropped connection, a short body or a server-side error
};

// A body announced or found to be larger than `maxBytes` is refused (not retriable) and nothing is kept.
QCoro::Task<Result> toFile(QNetworkAccessManager* network, QUrl url, QString path, qint64 maxBytes);
// The text of a refused oversized body.
QString tooLargeText(qint64 maxBytes);

// The HTTP status of an answer; none when the transfer failed before a status arrived.
std::optional<int> httpStatus(const QNetworkReply* reply);

} // namespace MiniMaxDownload
