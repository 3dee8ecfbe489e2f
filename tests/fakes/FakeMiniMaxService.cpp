#include "FakeMiniMaxService.h"

#include "FakeHttp.h"
#include "FfmpegTool.h"

#include "Clock.h"
#include "ServiceConfig.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QTcpServer>

#include <algorithm>

namespace {

const QByteArray kAccepted = R"("base_resp":{"status_code":0,"status_msg":"success"})";

template <class T> const T& nth(const QList<T>& list, int index) {
    return list[std::min<qsizetype>(index, list.size() - 1)];
}

} // namespace

bool FakeMiniMaxService::Request::hasHeader(const QByteArray& name) const {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& header) { return header.first.compare(name, Qt::CaseInsensitive) == 0; });
}

QByteArray FakeMiniMaxService::Request::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

QString FakeMiniMaxService::Request::queryValue(const QString& key) const {
    return query.queryItemValue(key, QUrl::FullyDecoded);
}

QJsonObject FakeMiniMaxService::Request::json() const {
    return QJsonDocument::fromJson(body).object();
}

FakeMiniMaxService::Reply FakeMiniMaxService::Reply::json(const QByteArray& body, int status) {
    Reply reply;
    reply.status = status;
    reply.body = body;
    reply.headers = {{"Content-Type", "application/json"}};
    return reply;
}

FakeMiniMaxService::Reply FakeMiniMaxService::Reply::http(int status, const QByteArray& body) {
    Reply reply;
    reply.status = status;
    reply.body = body;
    return reply;
}

FakeMiniMaxService::Reply FakeMiniMaxService::Reply::tooManyRequests(const QByteArray& retryAfter) {
    Reply reply = json(R"({"error":"too many requests"})", 429);
    if (!retryAfter.isNull())
        reply.headers.append({"Retry-After", retryAfter});
    return reply;
}

FakeMiniMaxService::Reply FakeMiniMaxService::Reply::refusal(int statusCode, const QByteArray& message) {
    return json(R"({"base_resp":{"status_code":)" + QByteArray::number(statusCode) + R"(,"status_msg":")" + message +
                R"("}})");
}

FakeMiniMaxService::Reply FakeMiniMaxService::Reply::dropped() {
    Reply reply;
    reply.drop = true;
    return reply;
}

FakeMiniMaxService::Reply FakeMiniMaxService::Reply::hanging() {
    Reply reply;
    reply.hang = true;
    return reply;
}

FakeMiniMaxService::Reply FakeMiniMaxService::Reply::garbage(const QByteArray& bytes) {
    Reply reply;
    reply.notHttp = true;
    reply.body = bytes;
    return reply;
}

FakeMiniMaxService::Reply FakeMiniMaxService::Reply::untilClosed(const QByteArray& body) {
    Reply reply = http(200, body);
    reply.headers = {{"Content-Type", "video/mp4"}};
    reply.closeDelimited = true;
    return reply;
}

FakeMiniMaxService::Reply FakeMiniMaxService::Reply::heldAfter(const QByteArray& body, qint64 sent) {
    Reply reply = http(200, body.left(sent));
    reply.announcedLength = body.size();
    return reply;
}

FakeMiniMaxService::Reply FakeMiniMaxService::Reply::trickle(const QByteArray& body, double seconds,
                                                             qint64 bytesPerStep) {
    Reply reply = http(200, body);
    reply.trickleSeconds = seconds;
    reply.trickleBytes = bytesPerStep;
    return reply;
}

FakeMiniMaxService::Reply FakeMiniMaxService::Reply::after(double seconds) const {
    Reply reply = *this;
    reply.delay = seconds;
    return reply;
}

FakeMiniMaxService::TaskScript FakeMiniMaxService::TaskScript::processingForever() {
    TaskScript script;
    script.statuses = {"Processing"};
    return script;
}

FakeMiniMaxService::FakeMiniMaxService() {
    port_ = listen(QHostAddress::LocalHost, 0);
}

FakeMiniMaxService::~FakeMiniMaxService() = default;

QUrl FakeMiniMaxService::baseUrl() const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port_));
}

void FakeMiniMaxService::install() const {
    ServiceConfig config = ServiceConfig::builtIn();
    config.miniMaxBaseUrl = baseUrl();
    config.miniMaxGroupId = groupId;
    ServiceConfig::setCurrent(config);
}

QList<FakeMiniMaxService::Request> FakeMiniMaxService::requestsTo(const QString& path) const {
    QList<Request> matching;
    for (const Request& request : requests) {
        if (request.path == path)
            matching.append(request);
    }
    return matching;
}

int FakeMiniMaxService::heldConnections() const {
    return int(std::count_if(held_.begin(), held_.end(), [](const QPointer<QTcpSocket>& socket) {
        return socket && socket->state() == QAbstractSocket::ConnectedState;
    }));
}

void FakeMiniMaxService::vanish() {
    for (QTcpServer* server : servers())
        server->close();
}

void FakeMiniMaxService::die() {
    vanish();
    for (const QPointer<QTcpSocket>& socket : std::as_const(connections_)) {
        if (socket)
            socket->abort();
    }
}

QString FakeMiniMaxService::downloadUrl(const QString& fileId) const {
    return baseUrl().toString() + "/download/" + QString::fromLatin1(QUrl::toPercentEncoding(fileId)) + ".mp4";
}

QByteArray FakeMiniMaxService::makeClip(const QString& folder) {
    const QString path = folder + "/fixture.mp4";
    if (!FfmpegTool::run({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=10", "-t", "1", "-pix_fmt", "yuv420p"}, path))
        return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool FakeMiniMaxService::handleRequest(const QHttpServerRequest& incoming, QTcpSocket* socket) {
    Request request;
    request.method = httpMethodName(incoming.method());
    request.path = incoming.url().path();
    request.encodedQuery = incoming.url().query(QUrl::FullyEncoded);
    request.query = QUrlQuery(incoming.url());
    request.headers = incoming.headers();
    request.body = incoming.body();
    request.at = Clock::current().now();
    if (!connections_.contains(socket))
        connections_.append(socket);
    request.connection = int(connections_.indexOf(socket)) + 1;
    requests.append(request);

    Reply reply = route(request);
    reply.closeAfter = request.header("Connection").toLower().contains("close");
    if (reply.hang || reply.announcedLength > reply.body.size() || reply.trickleSeconds > 0 || reply.endless)
        held_.append(socket);
    if (reply.hang)
        return true;
    if (reply.delay > 0)
        sendLater(QPointer<QTcpSocket>(socket), reply);
    else
        send(QPointer<QTcpSocket>(socket), reply);
    return true;
}

void FakeMiniMaxService::missingHandler(const QHttpServerRequest&, QTcpSocket* socket) {
    send(QPointer<QTcpSocket>(socket), Reply::http(404));
}

FakeMiniMaxService::Reply FakeMiniMaxService::route(const Request& request) {
    if (request.method == "POST" && request.path == "/v1/video_generation")
        return generate(request);
    if (request.method == "GET" && request.path == "/v1/query/video_generation")
        return query(request);
    if (request.method == "GET" && request.path == "/v1/files/retrieve")
        return retrieve(request);
    if (request.method == "GET" && request.path.startsWith("/download/") && request.path.endsWith(".mp4")) {
        const QString name = request.path.mid(QStringLiteral("/download/").size());
        return download(QUrl::fromPercentEncoding(name.chopped(4).toLatin1()));
    }
    return Reply::http(404);
}

std::optional<FakeMiniMaxService::Reply> FakeMiniMaxService::checkCredentials(const Request& request,
                                                                              bool groupInQuery) const {
    const QByteArray authorization = request.header("Authorization");
    if (!request.hasHeader("Authorization") || !authorization.startsWith("Bearer "))
        return Reply::refusal(1004, "authorization header missing");
    const QString key = QString::fromUtf8(authorization.mid(7));
    const QString group =
        groupInQuery ? request.queryValue("GroupId") : QString::fromUtf8(request.header("X-Group-Id"));
    if (!acceptedKeys.contains(key) || group != groupId)
        return Reply::refusal(2049, "invalid api key");
    return std::nullopt;
}

FakeMiniMaxService::Reply FakeMiniMaxService::generate(const Request& request) {
    if (!generationReplies.isEmpty())
        return generationReplies.takeFirst();
    if (const auto refused = checkCredentials(request, false))
        return *refused;
    ScriptedTask task;
    task.script = scripts.isEmpty() ? TaskScript() : scripts.takeFirst();
    const int number = int(tasks_.size()) + 1;
    if (task.script.taskId.isEmpty())
        task.script.taskId = QStringLiteral("task-%1").arg(number);
    if (task.script.fileId.isEmpty())
        task.script.fileId = QString::number(300000000000LL + number);
    tasks_.append(task);
    return Reply::json(R"({"task_id":")" + task.script.taskId.toUtf8() + R"(","request_id":"req-)" +
                       QByteArray::number(number) + R"(",)" + kAccepted + "}");
}

FakeMiniMaxService::Reply FakeMiniMaxService::query(const Request& request) {
    if (const auto refused = checkCredentials(request, false))
        return *refused;
    const QString taskId = request.queryValue("task_id");
    for (ScriptedTask& task : tasks_) {
        if (task.script.taskId != taskId)
            continue;
        if (task.queryFailures < task.script.queryFailures.size())
            return task.script.queryFailures[task.queryFailures++];
        const int index = task.queries++;
        if (!task.script.queryReplies.isEmpty())
            return nth(task.script.queryReplies, index);
        const QString status = nth(task.script.statuses, index);
        QByteArray body = R"({"task_id":")" + taskId.toUtf8() + R"(","status":")" + status.toUtf8() + '"';
        if (status == "Success")
            body += R"(,"file_id":")" + task.script.fileId.toUtf8() + '"';
        return Reply::json(body + "," + kAccepted + "}");
    }
    return Reply::refusal(2013, "invalid task_id");
}

FakeMiniMaxService::Reply FakeMiniMaxService::retrieve(const Request& request) {
    if (!retrieveReplies.isEmpty())
        return retrieveReplies.takeFirst();
    if (const auto refused = checkCredentials(request, true))
        return *refused;
    const QString fileId = request.queryValue("file_id");
    for (ScriptedTask& task : tasks_) {
        if (task.script.fileId != fileId)
            continue;
        if (task.fileRecordFailures < task.script.fileRecordFailures.size())
            return task.script.fileRecordFailures[task.fileRecordFailures++];
        if (task.script.fileRecord)
            return *task.script.fileRecord;
        bool numeric = false;
        const qint64 number = fileId.toLongLong(&numeric);
        QByteArray file = R"({"bytes":)" + QByteArray::number(clip.size()) +
                          R"(,"created_at":1767268800,"filename":"output.mp4","purpose":"video_generation",)" +
                          R"("download_url":")" + downloadUrl(fileId).toUtf8() + '"';
        if (numeric)
            file += R"(,"file_id":)" + QByteArray::number(number);
        return Reply::json(R"({"file":)" + file + "}," + kAccepted + "}");
    }
    return Reply::refusal(1026, "file not found");
}

FakeMiniMaxService::Reply FakeMiniMaxService::download(const QString& fileId) {
    for (ScriptedTask& task : tasks_) {
        if (task.script.fileId != fileId)
            continue;
        const int index = task.downloads++;
        if (!task.script.downloads.isEmpty())
            return nth(task.script.downloads, index);
        Reply reply = Reply::http(200, clip);
        reply.headers = {{"Content-Type", "video/mp4"}};
        return reply;
    }
    return Reply::http(404, "not found");
}

void FakeMiniMaxService::send(QPointer<QTcpSocket> socket, const Reply& reply) {
    if (!socket)
        return;
    if (reply.drop) {
        socket->abort();
        return;
    }
    if (reply.notHttp) {
        socket->write(reply.body);
        socket->flush();
        socket->disconnectFromHost();
        return;
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + " Scripted\r\n";
    for (const auto& [key, value] : reply.headers)
        head += key + ": " + value + "\r\n";
    if (reply.closeAfter)
        head += "Connection: close\r\n";
    if (reply.endless) {
        socket->write(head + "Transfer-Encoding: chunked\r\n\r\n" + QByteArray::number(reply.body.size(), 16) + "\r\n" +
                      reply.body + "\r\n");
        return;
    }
    if (reply.closeDelimited) {
        socket->write(head + (reply.closeAfter ? "" : "Connection: close\r\n") + "\r\n" + reply.body);
        socket->flush();
        socket->disconnectFromHost();
        return;
    }
    const qint64 length = reply.announcedLength >= 0 ? reply.announcedLength : reply.body.size();
    head += "Content-Length: " + QByteArray::number(length) + "\r\n\r\n";
    socket->write(head);
    if (reply.trickleSeconds > 0) {
        sendTrickle(socket, reply.body, reply.trickleSeconds, reply.trickleBytes);
        return;
    }
    if (reply.truncateAt >= 0) {
        socket->write(reply.body.left(reply.truncateAt));
        socket->flush();
        socket->disconnectFromHost();
        return;
    }
    socket->write(reply.body);
    if (reply.thenDie) {
        socket->flush();
        die();
    } else if (reply.thenVanish) {
        vanish();
    } else if (reply.closeAfter && length <= reply.body.size()) {
        // Closed once the whole answer is out; an answer held back halfway keeps its connection.
        socket->disconnectFromHost();
    }
}

QCoro::Task<> FakeMiniMaxService::sendTrickle(QPointer<QTcpSocket> socket, QByteArray body, double seconds,
                                              qint64 bytesPerStep) {
    for (qsizetype sent = 0; sent < body.size(); sent += bytesPerStep) {
        co_await Clock::current().sleep(seconds, this);
        if (!socket || socket->state() != QAbstractSocket::ConnectedState)
            co_return;
        socket->write(body.mid(sent, bytesPerStep));
    }
}

QCoro::Task<> FakeMiniMaxService::sendLater(QPointer<QTcpSocket> socket, Reply reply) {
    QPointer<FakeMiniMaxService> self(this);
    co_await Clock::current().sleep(reply.delay);
    if (self)
        send(socket, reply);
}
