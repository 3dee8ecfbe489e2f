// Downloads a 200 MB clip from a loopback server with the video client's streaming download and with
// curl, in the same run and from the same server, and reports the throughput ratio and the client's
// peak memory growth.
#include "../BenchSupport.h"
#include "MiniMaxDownload.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

constexpr qint64 kClipBytes = 200LL * 1024 * 1024;
constexpr qint64 kChunkBytes = 1 << 20;
constexpr int kRounds = 5;

// --- the loopback server, run as a child process so that its buffers never count against the client

struct Connection {
    QByteArray request;
    std::unique_ptr<QFile> file;
};

void feed(QTcpSocket* socket, Connection& connection) {
    while (socket->bytesToWrite() < 4 * kChunkBytes && !connection.file->atEnd())
        socket->write(connection.file->read(kChunkBytes));
    if (connection.file->atEnd() && socket->bytesToWrite() == 0)
        socket->disconnectFromHost();
}

int serve(const QString& path) {
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 1;
    QObject::connect(&server, &QTcpServer::newConnection, [&server, path] {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            auto connection = std::make_shared<Connection>();
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, connection, path] {
                connection->request += socket->readAll();
                if (connection->file || !connection->request.contains("\r\n\r\n"))
                    return;
                connection->file = std::make_unique<QFile>(path);
                connection->file->open(QIODevice::ReadOnly);
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: video/mp4\r\nConnection: close\r\nContent-Length: " +
                              QByteArray::number(connection->file->size()) + "\r\n\r\n");
                feed(socket, *connection);
            });
            QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [socket, connection] {
                if (connection->file)
                    feed(socket, *connection);
            });
        }
    });
    std::printf("%d\n", server.serverPort());
    std::fflush(stdout);
    return QCoreApplication::exec();
}

// --- the client side

bool writeClip(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk(kChunkBytes, Qt::Uninitialized);
    quint32 state = 2463534242u;
    for (qint64 written = 0; written < kClipBytes; written += chunk.size()) {
        for (char& byte : chunk) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            byte = char(state);
        }
        // The client keeps only what starts like an MP4: a first box naming its file type.
        if (written == 0)
            chunk.replace(0, 12,
                          QByteArray("\0\0\0\x0c"
                                     "ftypisom",
                                     12));
        if (file.write(chunk) != chunk.size())
            return false;
    }
    return true;
}

// curl's own transfer time (its "time_total"), so that starting the process does not count against it.
QByteArray sha256(const QString& path) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
}

double curlSeconds(const QString& url, const QString& out) {
    QProcess curl;
    curl.start("curl", {"-s", "-f", "-o", out, "-w", "%{time_total}", url});
    if (!curl.waitForFinished(60000) || curl.exitCode() != 0 || QFileInfo(out).size() != kClipBytes)
        return -1;
    bool ok = false;
    const double seconds = curl.readAllStandardOutput().trimmed().toDouble(&ok);
    return ok && seconds > 0 ? seconds : -1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == "--serve")
        return serve(args[2]);

    QTemporaryDir dir;
    const QString clip = dir.filePath("clip.mp4");
    if (!writeClip(clip)) {
        std::fprintf(stderr, "could not write the test clip\n");
        return 1;
    }
    QProcess server;
    server.start(app.applicationFilePath(), {"--serve", clip});
    if (!server.waitForReadyRead(10000)) {
        std::fprintf(stderr, "the loopback server did not start\n");
        return 1;
    }
    const QString url = QStringLiteral("http://127.0.0.1:%1/clip.mp4").arg(server.readLine().trimmed().toInt());

    QNetworkAccessManager network;
    double bestClient = 1e9;
    double bestCurl = 1e9;
    double peakGrowthMB = 0;
    for (int round = 0; round < kRounds; ++round) {
        const double curl = curlSeconds(url, dir.filePath("curl.mp4"));
        if (curl < 0) {
            std::fprintf(stderr, "curl could not fetch the clip\n");
            return 1;
        }
        bestCurl = std::min(bestCurl, curl);
        QFile::remove(dir.filePath("curl.mp4"));

        // Measures this download alone.
        BenchSupport::PeakMeter meter;
        meter.start();
        QElapsedTimer timer;
        timer.start();
        MiniMaxDownload::Options options;
        options.maxBytes = qint64(1) << 40;
        const auto result =
            QCoro::waitFor(MiniMaxDownload::toFile(&network, QUrl(url), dir.filePath("client.mp4"), options));
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        if (!result.ok || result.bytes != kClipBytes) {
            std::fprintf(stderr, "the client download failed: %s\n", qPrintable(result.error));
            return 1;
        }
        if (round == 0 && sha256(dir.filePath("client.mp4")) != sha256(clip)) {
            std::fprintf(stderr, "the client's copy differs from the clip\n");
            return 1;
        }
        bestClient = std::min(bestClient, seconds);
        peakGrowthMB = std::max(peakGrowthMB, meter.extraMB());
        QFile::remove(dir.filePath("client.mp4"));
    }
    server.kill();
    server.waitForFinished();

    std::printf("download of a 200 MB clip over loopback, best of %d rounds\n", kRounds);
    BenchSupport::Verdict verdict("download");
    // The client's throughput at least 0.8 of curl's: its time at most 1/0.8 of curl's.
    verdict.atLeastTimesFaster("client download against curl", bestClient * 1e3, bestCurl * 1e3, 0.8);
    verdict.atMost("client peak memory growth", peakGrowthMB, 32, "MB");
    return verdict.exitCode();
}
