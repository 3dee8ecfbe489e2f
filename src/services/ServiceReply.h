#pragma once

#include <QNetworkReply>
#include <QPointer>
#include <QScopedPointer>
#include <QString>

#include <coroutine>
#include <memory>
#include <optional>

// What every client reads from a finished reply, by one set of rules.
namespace ServiceReply {

// A reply its awaiting code owns: let go (deleteLater) when that code ends, however it ends.
using Owned = std::unique_ptr<QNetworkReply, QScopedPointerDeleteLater>;

// The platform's words for a request that ran out of time.
QString timedOutText();

// The network layer's words for a connection that ended in the middle of an answer.
QString connectionClosedText();

// An answer whose body ended before the length its header announced. Qt 6.4 can report such an answer as whole
// when the server closes the connection as the last bytes arrive. An encoded body's announced length is that of the
// encoding, so it is not compared.
bool cutShort(const QNetworkReply* reply, qsizetype bodyBytes);

// Only the transfer time-out aborts a request, and an aborted request ends in one of these.
bool timedOut(QNetworkReply::NetworkError error);

// The network layer failed, as opposed to an answer that arrived with an error status.
bool isTransportFailure(QNetworkReply::NetworkError error);

// Why a request that keeps to its origin failed when its server redirected it elsewhere; none for any other end.
std::optional<QString> refusedRedirect(const QNetworkReply* reply);

// The HTTP status of an answer; none when the transfer failed before a status arrived.
std::optional<int> httpStatus(const QNetworkReply* reply);

// How an exchange ended. A redirect to another origin that was not followed is a failure. A network failure ends it
// even after a status line came in (a cut-off answer is a failure, not a short body), unless that status is not a
// success: then the status is the server's answer and decides the text, not the network layer's wording (a 407 among
// them).
struct Ending {
    std::optional<int> status;      // an HTTP answer came with this status
    std::optional<QString> failure; // the exchange failed: the text the user sees
    // Neither: what came back was not an HTTP answer.
};
Ending ending(const QNetworkReply* reply);

// Awaits the end of a reply, resuming its coroutine once. Qt 6.4 can announce the end of an aborted upload a
// second time; QCoro's own `co_await reply` would then resume a coroutine that has already finished.
// Name it before awaiting it (g++ 12 destroys a temporary awaiter twice).
class Finished {
public:
    explicit Finished(QNetworkReply* reply) : reply_(reply) {}
    bool await_ready() const noexcept { return !reply_ || reply_->isFinished(); }
    void await_suspend(std::coroutine_handle<> handle);
    void await_resume() const noexcept {}

private:
    QPointer<QNetworkReply> reply_;
};

} // namespace ServiceReply
