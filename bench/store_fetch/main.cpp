// Fetching clip records through the store against a bare QtSql SELECT of the same non-picture columns, on
// one store of 10,000 clips with two frame pictures each, measured in the same run. Reports both times and
// their ratio; exits non-zero when the store takes more than twice the bare query.
//
//   bench_store_fetch [--records N] [--rounds N]

#include "../BenchSupport.h"
#include "ImageCoding.h"
#include "ModelSchema.h"
#include "VideoMetadata.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using BenchSupport::median;

constexpr double kAllowedRatio = 2.0;

// A frame with some texture, so the JPEG is as large as a real one of its size.
QByteArray framePicture(int seed) {
    QImage image(480, 270, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgb((x * 7 + seed) & 255, (y * 5 + x * x / 31) & 255, ((x ^ y) + seed * 3) & 255);
    }
    return ImageCoding::jpegData(image, 0.7).value_or(QByteArray());
}

bool fillStore(const QString& path, int records) {
    const QByteArray first = framePicture(1);
    const QByteArray last = framePicture(2);
    auto store = ModelSchema::openStore(path);
    for (int i = 0; i < records; ++i) {
        auto video =
            VideoMetadata::make(QStringLiteral("Orvane_20260101_%1_a_cat_jumping.mp4").arg(i, 6, 10, QChar('0')),
                                QStringLiteral("A cat jumping over a fence at dusk, take %1").arg(i), "1080P", 6,
                                "start_end_video", true, QStringLiteral("2.3"), false);
        video->setFirstFrameImageData(first);
        video->setLastFrameImageData(last);
        store->insert(video);
    }
    QString error;
    if (!store->save(&error)) {
        std::fprintf(stderr, "could not fill the store: %s\n", qPrintable(error));
        return false;
    }
    return true;
}

// Every value of the non-picture columns, read through QtSql with nothing else around it.
double bareSelectMs(const QString& path, qint64* checksum) {
    QElapsedTimer timer;
    double elapsed = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "bare");
        db.setDatabaseName(path);
        if (!db.open())
            return -1;
        QSqlQuery query(db);
        query.setForwardOnly(true);
        timer.start();
        if (!query.exec("SELECT id, fileName, prompt, quality, duration, createdAt, videoMode, promptOptimization, "
                        "model, fastPretreatment, promptPreset, imagePreset FROM VideoMetadata ORDER BY rowid"))
            return -1;
        while (query.next()) {
            for (int column = 0; column < 12; ++column)
                *checksum += query.value(column).toString().size();
        }
        elapsed = double(timer.nsecsElapsed()) / 1e6;
    }
    QSqlDatabase::removeDatabase("bare");
    return elapsed;
}

// The records as the gallery gets them: a fresh context (nothing cached), one fetch.
double storeFetchMs(const QString& path, qint64* checksum) {
    auto store = ModelSchema::openStore(path);
    QElapsedTimer timer;
    timer.start();
    const auto records = store->fetch<VideoMetadata>();
    if (!records)
        return -1;
    for (const auto& record : *records)
        *checksum += record->fileName().size() + record->prompt().size();
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int records = 10000;
    int rounds = 7;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--records")
            records = args[i + 1].toInt();
        else if (args[i] == "--rounds")
            rounds = std::max(1, args[i + 1].toInt());
    }

    QTemporaryDir dir;
    const QString path = dir.filePath("bench.store");
    std::printf("Filling a store with %d clips, two frame pictures each...\n", records);
    std::fflush(stdout);
    if (!fillStore(path, records))
        return 2;

    std::vector<double> bare;
    std::vector<double> fetched;
    qint64 checksum = 0;
    // Alternating, after one warm-up of each, so both see the same cache state.
    bareSelectMs(path, &checksum);
    storeFetchMs(path, &checksum);
    for (int round = 0; round < rounds; ++round) {
        bare.push_back(bareSelectMs(path, &checksum));
        fetched.push_back(storeFetchMs(path, &checksum));
        if (bare.back() < 0 || fetched.back() < 0) {
            std::fprintf(stderr, "a query failed\n");
            return 2;
        }
    }
    const double bareMs = median(bare);
    const double fetchMs = median(fetched);
    std::printf("bare QtSql SELECT of the non-picture columns: %8.1f ms (median of %d)\n", bareMs, rounds);
    std::printf("store fetch of VideoMetadata records:          %8.1f ms (median of %d)   [checksum %lld]\n", fetchMs,
                rounds, static_cast<long long>(checksum));
    BenchSupport::Verdict verdict("store_fetch");
    verdict.atMostTimes("store fetch against the bare SELECT", fetchMs, bareMs, kAllowedRatio);
    return verdict.exitCode();
}
