// Preparing nine 6000 x 4000 photographs for one image request, against the floor of encoding each of them
// once as JPEG at quality 0.9 on the same worker pool, in the same run. Reports wall time against that floor and
// the peak memory of both, and how much compressing the preparation did (in whole photographs' worth): a
// preparation that tried qualities one after another on the whole photograph shows there, whatever the machine.

#include "../BenchSupport.h"
#include "ImageCoding.h"
#include "ImageProcessor.h"
#include "OrvaneAPIService.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <malloc.h>

namespace {

using BenchSupport::median;
using BenchSupport::PeakMeter;

constexpr int photoWidth = 6000;
constexpr int photoHeight = 4000;
constexpr int photoCount = 9;
constexpr int rounds = 9;

// Value noise: a coarse random lattice, smoothly interpolated.
struct Lattice {
    int columns;
    int rows;
    std::vector<float> values;
    Lattice(int columns, int rows, QRandomGenerator& random)
        : columns(columns), rows(rows), values(size_t(columns * rows)) {
        for (float& v : values)
            v = float(random.generateDouble());
    }
    float at(float x, float y) const {
        const int x0 = std::min(int(x), columns - 2);
        const int y0 = std::min(int(y), rows - 2);
        const float fx = x - x0, fy = y - y0;
        const float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
        const float* r0 = &values[size_t(y0 * columns + x0)];
        const float* r1 = r0 + columns;
        return (r0[0] * (1 - sx) + r0[1] * sx) * (1 - sy) + (r1[0] * (1 - sx) + r1[1] * sx) * sy;
    }
};

// A landscape-like photograph: sky gradient, terrain shapes, foliage texture, fine detail and sensor grain.
QImage photograph(int index) {
    QRandomGenerator random(quint32(1000 + index));
    const Lattice shapes(13, 10, random), texture(301, 201, random), detail(2401, 1601, random);
    const float hue = float(random.generateDouble());
    // From a calm scene to a busy one: the photographs need different qualities to fit.
    const float busy = 0.4f + 0.15f * float(index);
    const float grainLevel = 3.0f + float(index);
    QImage image(photoWidth, photoHeight, QImage::Format_RGB32);
    quint32 grain = quint32(index * 7919 + 1);
    for (int y = 0; y < photoHeight; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const float v = float(y) / photoHeight;
        for (int x = 0; x < photoWidth; ++x) {
            const float u = float(x) / photoWidth;
            const float horizon = 0.35f + 0.25f * shapes.at(u * 11, 4.5f);
            const float big = shapes.at(u * 11, v * 8);
            const float mid = texture.at(u * 299, v * 199);
            const float fine = detail.at(u * 2399, v * 1599);
            grain = grain * 1664525u + 1013904223u;
            const float noise = float(int(grain >> 24) - 128) / 128.0f * grainLevel;
            float r, g, b;
            if (v < horizon) {
                const float t = v / horizon;
                r = 90 + 80 * t + 30 * big;
                g = 140 + 60 * t + 20 * big;
                b = 210 + 30 * t;
                r += 12 * mid;
                g += 12 * mid;
                b += 8 * mid;
            } else {
                const float light = 0.55f + 0.45f * big;
                r = (50 + 90 * hue + 70 * mid + 90 * busy * fine) * light;
                g = (70 + 70 * (1 - hue) + 80 * mid + 80 * busy * fine) * light;
                b = (30 + 50 * mid + 60 * busy * fine) * light;
            }
            row[x] = qRgb(std::clamp(int(r + noise), 0, 255), std::clamp(int(g + noise), 0, 255),
                          std::clamp(int(b + noise), 0, 255));
        }
    }
    return image;
}

QList<QImage> photographs() {
    QList<int> indexes;
    for (int i = 0; i < photoCount; ++i)
        indexes.append(i);
    return QtConcurrent::blockingMapped(indexes, photograph);
}

// The floor: each photograph encoded once, on the pool the preparation runs on.
QList<QByteArray> encodeEachOnce(const QList<QImage>& photos) {
    return QtConcurrent::blockingMapped(
        photos, [](const QImage& photo) { return ImageCoding::jpegData(photo, 0.9).value_or(QByteArray()); });
}

QList<PreparedReference> prepare(const QList<QImage>& photos) {
    QFuture<PreparedReference> preparing = OrvaneAPIService::prepareReferenceImages(photos, std::nullopt);
    preparing.waitForFinished();
    return preparing.results();
}

} // namespace

// Peak memory of one phase, measured in a fresh process of its own so nothing freed earlier is reused.
// Big buffers always come from and go back to the system there, so resident memory follows what is alive.
int measurePeak(const QString& phase) {
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    const QList<QImage> photos = photographs();
    malloc_trim(0);
    PeakMeter meter;
    meter.start();
    if (phase == "floor") {
        const QList<QByteArray> kept = encodeEachOnce(photos);
        std::printf("%.1f\n", meter.extraMB());
    } else {
        const QList<PreparedReference> kept = prepare(photos);
        std::printf("%.1f\n", meter.extraMB());
    }
    return 0;
}

double peakOf(const QString& phase) {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {"--peak", phase});
    child.waitForFinished(-1);
    bool ok = false;
    const double megabytes = child.readAllStandardOutput().trimmed().toDouble(&ok);
    return ok ? megabytes : -1;
}

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--peak") == 0)
        return measurePeak(QString::fromLatin1(argv[2]));

    const int threads = QThreadPool::globalInstance()->maxThreadCount();
    std::printf("image_prepare: %d photographs of %dx%d, worker pool of %d threads\n", photoCount, photoWidth,
                photoHeight, threads);
    const QList<QImage> photos = photographs();

    // Wall time: each round times the floor and the preparation back to back, which one first alternating, and
    // the goal is on the median of the rounds' ratios, so a slower moment of the machine falls on both alike.
    QList<double> floorTimes, prepareTimes, ratios;
    QList<QByteArray> floorJpegs;
    QList<PreparedReference> prepared;
    double compressed = 0;
    QElapsedTimer timer;
    for (int round = 0; round < rounds; ++round) {
        for (int half = 0; half < 2; ++half) {
            if ((half == 0) == (round % 2 == 0)) {
                floorJpegs.clear();
                timer.start();
                floorJpegs = encodeEachOnce(photos);
                floorTimes.append(double(timer.nsecsElapsed()) / 1e6);
            } else {
                prepared.clear();
                const qint64 pixelsBefore = ImageProcessor::pixelsCompressed();
                timer.start();
                prepared = prepare(photos);
                prepareTimes.append(double(timer.nsecsElapsed()) / 1e6);
                compressed = double(ImageProcessor::pixelsCompressed() - pixelsBefore) /
                             (double(photoWidth) * photoHeight * photoCount);
            }
        }
        ratios.append(prepareTimes.last() / floorTimes.last());
    }
    const double floorPeak = peakOf("floor");
    const double preparePeak = peakOf("prepare");

    qint64 smallest = std::numeric_limits<qint64>::max(), largest = 0;
    for (const QByteArray& jpeg : floorJpegs) {
        smallest = std::min(smallest, jpeg.size());
        largest = std::max(largest, jpeg.size());
    }
    BenchSupport::Verdict verdict("image_prepare");
    QStringList chosen;
    bool allJpegs = prepared.size() == photoCount;
    for (const PreparedReference& reference : prepared) {
        if (reference.mimeType != "image/jpeg" || QByteArray::fromBase64(reference.base64).size() > 4194304)
            allJpegs = false;
        const QString line = reference.logLines.isEmpty() ? QString() : reference.logLines.last().section(':', 0, 0);
        chosen.append((line.contains("Resized") ? "resized, " : "") + line.section(' ', -1));
    }

    std::printf("  JPEG 0.9 of one photograph: %.1f to %.1f MB; prepared at quality: %s\n", smallest / 1048576.0,
                largest / 1048576.0, qPrintable(chosen.join(", ")));
    std::printf("  compressing done by the preparation: %.2f photographs' worth for each photograph\n", compressed);
    std::printf("  peak memory above the held photographs: floor (results kept) +%.0f MB, preparation +%.0f MB\n",
                floorPeak, preparePeak);
    verdict.holds("every photograph prepared as a JPEG under 4 MB", allJpegs);
    verdict.atMostTimesPaired("preparation against one JPEG 0.9 encode of each on the same pool", median(prepareTimes),
                              median(floorTimes), median(ratios), 1.5);
    verdict.atMost("peak memory of the preparation", preparePeak, 300, "MB");
    return verdict.exitCode();
}
