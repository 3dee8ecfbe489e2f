#pragma once

#include <QAbstractHttpServer>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QStringList>
#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>

#include <qcoro/qcorotask.h>

#include <optional>

// The MiniMax video service on 127.0.0.1 inside the test process: generation, task query, file record
// and the clip download. It checks the bearer key and the group id as the real service does (a refusal
// is HTTP 200 with a non-zero base_resp.status_code), records every request, and answers each task
// from a script. Delays run on the current clock, so they cost no real time under the virtual clock.
class FakeMiniMaxService : public QAbstractHttpServer {
    Q_OBJECT
public:
    struct Request {
        QString method;
        QString path;
        QString encodedQuery; // as it arrived
        QUrlQuery query;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        QDateTime at;       // on the current clock
        int connection = 0; // which connection it came on, numbered from 1 in order of arrival

        bool hasHeader(const QByteArray& name) const;
        QByteArray header(const QByteArray& name) const;
        QString queryValue(const QString& key) const; // decoded
        QJsonObject json() const;
    };

    struct Reply {
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        double delay = 0;            // seconds on the current clock before the answer goes out
        qint64 truncateAt = -1;      // announce the whole body, send this many bytes, then drop the connection
        qint64 announcedLength = -1; // announce this length instead, send the body, keep the connection open
        bool endless = false;        // chunked: send the body as one chunk and never end the answer
        bool drop = false;           // close the connection without answering
        bool hang = false;           // never answer
        bool notHttp = false;        // send the body alone, no status line or headers, then close
        bool closeDelimited = false; // no length announced: send the body, then close
        double trickleSeconds = 0;   // announce the whole body, then send `trickleBytes` each this many seconds
        qint64 trickleBytes = 1;
        bool thenDie = false;    // after sending, the whole server goes down (see `die()`)
        bool thenVanish = false; // after sending, the server is gone from the network (see `vanish()`)
        bool closeAfter = false; // set when the request asked for "Connection: close", as servers honour it

        static Reply json(const QByteArray& body, int status = 200);
        static Reply http(int status, const QByteArray& body = {});
        static Reply tooManyRequests(const QByteArray& retryAfter = {});
        static Reply refusal(int statusCode, const QByteArray& message = "refused");
        static Reply dropped();
        static Reply hanging();
        static Reply garbage(const QByteArray& bytes);
        // A video answer without a length, whose end is where the connection closes.
        static Reply untilClosed(const QByteArray& body);
        // Announces the whole body, sends the first `sent` bytes and holds the connection open.
        static Reply heldAfter(const QByteArray& body, qint64 sent);
        static Reply trickle(const QByteArray& body, double seconds = 1, qint64 bytesPerStep = 1);
        Reply after(double seconds) const;
    };

    struct TaskScript {
        QString taskId; // empty: made up
        // One state per query (the last one repeats). "Success" answers carry the file id.
        QStringList statuses = {"Queueing", "Preparing", "Processing", "Success"};
        QList<Reply> queryReplies;  // when set, used instead of `statuses` (the last one repeats)
        QList<Reply> queryFailures; // answered in order before the first scripted status
        QString fileId;             // empty: made up (digits)
        std::optional<Reply> fileRecord;
        QList<Reply> fileRecordFailures; // answered in order before the file record
        QList<Reply> downloads;          // the last one repeats; none: the clip

        static TaskScript processingForever();
    };

    FakeMiniMaxService();
    ~FakeMiniMaxService() override;

    QUrl baseUrl() const;
    // Points the services at this fake (base address and group id).
    void install() const;

    QStringList acceptedKeys{"test-key-1"};
    QString groupId = "1234567890123456789";
    QByteArray clip;
    // Answers to generation requests, used up in order before any task is accepted.
    QList<Reply> generationReplies;
    // Answers to file-record requests, used up in order before the credentials are checked.
    QList<Reply> retrieveReplies;
    // Taken by accepted tasks in order; a task beyond them plays the default script.
    QList<TaskScript> scripts;

    QList<Request> requests;
    QList<Request> requestsTo(const QString& path) const;
    // Connections whose answer is held back or still being sent, and that the client has not closed.
    int heldConnections() const;
    // The server goes down as a killed process would: it stops listening and drops every connection.
    void die();
    // The server is gone as a host that lost its network is: it stops listening, and its open connections
    // get nothing more, not even their end.
    void vanish();
    QString downloadUrl(const QString& fileId) const;
    int acceptedTasks() const { return int(tasks_.size()); }

    // A real MP4 made by the ffmpeg tool into `folder`; empty when ffmpeg fails.
    static QByteArray makeClip(const QString& folder);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct ScriptedTask {
        TaskScript script;
        int queries = 0;
        int queryFailures = 0;
        int fileRecordFailures = 0;
        int downloads = 0;
    };

    Reply route(const Request& request);
    Reply generate(const Request& request);
    Reply query(const Request& request);
    Reply retrieve(const Request& request);
    Reply download(const QString& fileId);
    std::optional<Reply> checkCredentials(const Request& request, bool groupInQuery) const;
    void send(QPointer<QTcpSocket> socket, const Reply& reply);
    QCoro::Task<> sendLater(QPointer<QTcpSocket> socket, Reply reply);
    QCoro::Task<> sendTrickle(QPointer<QTcpSocket> socket, QByteArray body, double seconds, qint64 bytesPerStep);

    quint16 port_ = 0;
    QList<ScriptedTask> tasks_;
    QList<QPointer<QTcpSocket>> connections_;
    QList<QPointer<QTcpSocket>> held_;
};
