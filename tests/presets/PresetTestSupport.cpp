#include "PresetTestSupport.h"

#include "FfmpegTool.h"

#include "MediaProbe.h"
#include "ModelSchema.h"
#include "Resources.h"

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include <cstdlib>

namespace PresetTestSupport {

QString bundleRoot() {
    return QStringLiteral(ORVANE_TEST_BUNDLE_DIR);
}

bool haveFfmpeg() {
    return FfmpegTool::isAvailable();
}

bool ffmpeg(const QStringList& arguments, const QString& target) {
    return FfmpegTool::run(arguments, target);
}

bool makeClip(const QString& target, int width, int height, double seconds, int fps) {
    return ffmpeg(
        {"-f", "lavfi", "-i",
         QStringLiteral("testsrc2=size=%1x%2:rate=%3:duration=%4").arg(width).arg(height).arg(fps).arg(seconds), "-c:v",
         "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"},
        target);
}

bool makeGreyClip(const QString& target, int width, int height, double seconds, int fps) {
    return ffmpeg(
        {"-f", "lavfi", "-i",
         QStringLiteral("testsrc2=size=%1x%2:rate=%3:duration=%4,hue=s=0").arg(width).arg(height).arg(fps).arg(seconds),
         "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"},
        target);
}

bool isGrey(const QImage& picture) {
    constexpr int kTolerance = 6;
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            if (std::abs(qRed(line[x]) - qGreen(line[x])) > kTolerance ||
                std::abs(qGreen(line[x]) - qBlue(line[x])) > kTolerance)
                return false;
        }
    }
    return true;
}

std::unique_ptr<ModelContext> openStore(const TestEnvironment& environment, const QString& name) {
    return ModelSchema::openStore(environment.path(name));
}

void failWrites(ModelContext& context, const QString& table) {
    QSqlQuery query(context.database());
    for (const char* event : {"INSERT", "UPDATE"}) {
        const QString sql = QStringLiteral("CREATE TRIGGER IF NOT EXISTS fail_%1_%2 BEFORE %2 ON \"%1\" "
                                           "BEGIN SELECT RAISE(ABORT, 'disk is full'); END")
                                .arg(table, event);
        QVERIFY2(query.exec(sql), qPrintable(query.lastError().text()));
    }
}

void allowWrites(ModelContext& context, const QString& table) {
    QSqlQuery query(context.database());
    for (const char* event : {"INSERT", "UPDATE"})
        QVERIFY(query.exec(QStringLiteral("DROP TRIGGER IF EXISTS fail_%1_%2").arg(table, event)));
}

int storedRows(ModelContext& context, const QString& table) {
    QSqlQuery query(context.database());
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM \"%1\"").arg(table)) || !query.next())
        return -1;
    return query.value(0).toInt();
}

void drainMediaWork() {
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::processEvents();
        MediaProbe::pool().waitForDone();
        QCoreApplication::processEvents();
    }
}

void writePicture(const QString& path, const QColor& color, const char* format) {
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(color);
    QVERIFY(picture.save(path, format));
}

void StoreFixture::setUp() {
    env = std::make_unique<TestEnvironment>();
    clock = std::make_unique<VirtualClock>();
    clock->install();
    store = openStore(*env);
    Resources::setRoot(bundleRoot());
}

void StoreFixture::tearDown() {
    drainMediaWork();
    store.reset();
    clock.reset();
    env.reset();
}

} // namespace PresetTestSupport
