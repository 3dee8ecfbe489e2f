// The image studio under big pictures, against plain decoding measured in the same run:
// 1. nine 6000 x 4000 JPEG photographs added at once (decoded, scaled and shown), against decoding the nine
//    in parallel with QImageReader alone;
// 2. a 4096 x 4096 result arriving from the fake Gemini service until it is on screen, against decoding its
//    PNG alone.
// For each, the longest stall of the GUI thread's event loop while the work runs. Each round times the studio and
// its reference back to back, and the goal is on the median of the rounds' ratios, so a slower moment of the
// machine falls on both alike.

#include "../BenchSupport.h"
#include "APIManager.h"
#include "AppViewModel.h"
#include "FakeGeminiService.h"
#include "GeminiWire.h"
#include "ImageStudioModel.h"
#include "LeftPanel.h"
#include "OrvaneAPIService.h"
#include "RightPanel.h"
#include "StallMeter.h"
#include "TestSupport.h"
#include "WireDecoding.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <QtConcurrent/QtConcurrentMap>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

namespace {

using BenchSupport::median;

constexpr int referenceRounds = 5;
constexpr int resultRounds = 11;

// A photograph-like picture: gradients with noise, so the JPEG carries real detail.
QImage photograph(int width, int height, int seed) {
    QImage image(width, height, QImage::Format_RGB32);
    quint32 state = quint32(seed) * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = int(state >> 27);
            line[x] = qRgb((x * 255 / width + noise + seed * 20) & 255, (y * 255 / height + noise) & 255,
                           ((x + y) * 128 / (width + height) + noise * 2) & 255);
        }
    }
    return image;
}

// Waits as the application does, asleep between events: a loop that spun would take one of a small machine's
// processors from the decoding it waits for.
bool waitFor(const std::function<bool()>& done, int timeoutMs = 120000) {
    return BenchSupport::waitUntil(done, timeoutMs);
}

double maximum(const QList<double>& values) {
    return *std::max_element(values.begin(), values.end());
}

void report(BenchSupport::Verdict& verdict, const std::string& name, const QList<double>& studio,
            const QList<double>& reference, const QList<double>& stalls) {
    QList<double> ratios;
    std::printf("  %s, studio against plain decoding, each round:", name.c_str());
    for (qsizetype i = 0; i < studio.size(); ++i) {
        ratios << studio[i] / reference[i];
        std::printf(" %.2f", ratios.last());
    }
    std::printf("\n");
    verdict.atMostTimesPaired((name + ", studio against plain decoding").c_str(), median(studio), median(reference),
                              median(ratios), 1.5);
    verdict.atMost((name + ", longest GUI-thread stall").c_str(), maximum(stalls), 50, "ms");
}

void benchReferences(BenchSupport::Verdict& verdict, const QDir& dir) {
    QStringList paths;
    for (int i = 0; i < 9; ++i) {
        const QString path = dir.filePath(QStringLiteral("photo%1.jpg").arg(i));
        photograph(6000, 4000, i).save(path, "JPEG", 90);
        paths << path;
    }
    std::printf("nine 6000x4000 JPEGs written (%.1f MB each)\n", double(QFileInfo(paths[0]).size()) / 1048576.0);

    QList<double> studio, reference, stalls;
    StallMeter meter;
    for (int round = 0; round < referenceRounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const QList<QImage> decoded =
            QtConcurrent::blockingMapped(paths, [](const QString& path) { return QImageReader(path).read(); });
        reference << double(timer.nsecsElapsed()) / 1e6;
        if (decoded.size() != 9 || decoded[8].isNull())
            qFatal("reference decoding failed");

        AppViewModel app;
        AppEnvironment environment;
        environment.appViewModel = &app;
        ImageStudioModel model(environment);
        LeftPanel panel(model, nullptr);
        panel.resize(420, 900);
        panel.show();
        QCoreApplication::processEvents();

        meter.start();
        timer.restart();
        model.addReferenceFiles(paths);
        const bool done =
            waitFor([&] { return model.referenceImages().size() == 9 && panel.shownReferenceCount() == 9; });
        QApplication::processEvents();
        panel.grab(); // painted once with all nine
        studio << double(timer.nsecsElapsed()) / 1e6;
        stalls << meter.stopMs();
        if (!done)
            qFatal("the studio did not show nine references");
    }
    report(verdict, "nine 24-megapixel references", studio, reference, stalls);
}

void benchResult(BenchSupport::Verdict& verdict) {
    const QImage picture = photograph(4096, 4096, 42);
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "PNG");
    }
    std::printf("4096x4096 result: %.1f MB of PNG\n", double(png.size()) / 1048576.0);

    {
        // Where the time of one answer goes, step by step on this thread (for reading the ratio).
        const std::string body = FakeGeminiService::pictureResponse(picture).dump();
        QElapsedTimer step;
        step.start();
        const auto decoded = GeminiWire::decodeResponse(body.data(), body.size());
        const double parse = double(step.nsecsElapsed()) / 1e6;
        step.restart();
        const auto& data = decoded.response->candidates->front().content->parts->front().inlineData->data;
        const auto bytes = WireDecoding::decodeBase64(data.data(), qsizetype(data.size())).value_or(QByteArray());
        const double base64 = double(step.nsecsElapsed()) / 1e6;
        step.restart();
        const QImage decodedPicture = QImage::fromData(bytes, "PNG");
        const double pngTime = double(step.nsecsElapsed()) / 1e6;
        step.restart();
        const QImage shown = decodedPicture.scaled(QSize(800, 600), Qt::KeepAspectRatio, Qt::SmoothTransformation);
        const double scaleTime = double(step.nsecsElapsed()) / 1e6;
        std::printf("  answer of %.1f MB: JSON %.0f ms, base64 %.0f ms, PNG %.0f ms, scale to screen %.0f ms\n",
                    double(body.size()) / 1048576.0, parse, base64, pngTime, scaleTime);
    }

    FakeGeminiService fake;
    fake.install();
    APIManager::shared().setGoogleAPIKey(fake.apiKey);

    QList<double> studio, reference, stalls;
    StallMeter meter;
    for (int round = 0; round < resultRounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const QImage alone = QImage::fromData(png, "PNG");
        reference << double(timer.nsecsElapsed()) / 1e6;
        if (alone.isNull())
            qFatal("reference decoding failed");

        fake.script.append(FakeGeminiService::Reply::json(FakeGeminiService::pictureResponse(picture)));
        AppViewModel app;
        AppEnvironment environment;
        environment.appViewModel = &app;
        ImageStudioModel model(environment);
        RightPanel panel(model, nullptr);
        panel.resize(900, 800);
        panel.show();
        model.setPrompt(QStringLiteral("a lighthouse"));
        model.generate();
        // Timing starts once the answer is on its way: the fake writes it when the request arrives.
        const qsizetype before = fake.generateRequests().size();
        if (!waitFor([&] { return fake.generateRequests().size() > before; }))
            qFatal("no request reached the fake");
        meter.start();
        timer.restart();
        const bool done = waitFor([&] { return panel.isResultPictureShown(); });
        panel.grab();
        studio << double(timer.nsecsElapsed()) / 1e6;
        stalls << meter.stopMs();
        if (!done)
            qFatal("the result never reached the screen");
    }
    report(verdict, "4096x4096 result", studio, reference, stalls);
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    TestEnvironment environment;
    QTemporaryDir dir;
    BenchSupport::Verdict verdict("image_studio");
    benchReferences(verdict, QDir(dir.path()));
    benchResult(verdict);
    return verdict.exitCode();
}
