#include "PreviewFrameSink.h"
#include "VideoPlayerView.h"
#include "VirtualDisplay.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>

#include <cstdio>
#include <cstring>
#include <functional>

namespace {

// A backend with one item always current: the view shows whatever its sink is given.
class StillBackend final : public PreviewBackend {
public:
    using PreviewBackend::PreviewBackend;
    ItemId replaceCurrentItem(const QUrl&) override { return 1; }
    void clearCurrentItem() override {}
    ItemId currentItem() const override { return item; }
    ItemStatus status(ItemId) const override { return ItemStatus::readyToPlay; }
    std::optional<double> duration(ItemId) const override { return 1.0; }
    void play() override {}
    void pause() override {}
    void seekToStart() override {}
    void setVolume(double) override {}
    double volume() const override { return 0; }
    void setVideoOutput(QObject*) override {}
    ItemId item = 1;
};

// BT.601 limited-range samples of three colours.
struct Yuv {
    uchar y, u, v;
};
constexpr Yuv kRed{81, 90, 240};
constexpr Yuv kBlue{41, 240, 110};
constexpr Yuv kGreen{145, 54, 34};

constexpr QSize kFrame(64, 36);
// A strip this wide at the left edge, green: filling a square view cuts it away.
constexpr int kEdge = 8;

// The colour the frame has at column x: the green strip, then red up to the middle, then blue.
Yuv colourAt(int x) {
    return x < kEdge ? kGreen : x < kFrame.width() / 2 ? kRed : kBlue;
}
QRgb rgbAt(int x) {
    return x < kEdge ? qRgb(0, 255, 0) : x < kFrame.width() / 2 ? qRgb(255, 0, 0) : qRgb(0, 0, 255);
}

using Writer = std::function<void(QVideoFrame&)>;

// Planar and semi-planar 4:2:0 frames: chroma shared by each two by two pixels.
Writer planar(bool swapped) {
    return [=](QVideoFrame& f) {
        for (int y = 0; y < kFrame.height(); ++y)
            for (int x = 0; x < kFrame.width(); ++x)
                f.bits(0)[y * f.bytesPerLine(0) + x] = colourAt(x).y;
        const int u = swapped ? 2 : 1, v = swapped ? 1 : 2;
        for (int y = 0; y < kFrame.height() / 2; ++y)
            for (int x = 0; x < kFrame.width() / 2; ++x) {
                f.bits(u)[y * f.bytesPerLine(u) + x] = colourAt(2 * x).u;
                f.bits(v)[y * f.bytesPerLine(v) + x] = colourAt(2 * x).v;
            }
    };
}
Writer semiPlanar(bool vFirst) {
    return [=](QVideoFrame& f) {
        for (int y = 0; y < kFrame.height(); ++y)
            for (int x = 0; x < kFrame.width(); ++x)
                f.bits(0)[y * f.bytesPerLine(0) + x] = colourAt(x).y;
        for (int y = 0; y < kFrame.height() / 2; ++y)
            for (int x = 0; x < kFrame.width() / 2; ++x) {
                uchar* pair = f.bits(1) + y * f.bytesPerLine(1) + 2 * x;
                pair[vFirst ? 1 : 0] = colourAt(2 * x).u;
                pair[vFirst ? 0 : 1] = colourAt(2 * x).v;
            }
    };
}
// Packed 4:2:2, two pixels in four bytes; `order` names where Y0, U, Y1, V go.
Writer packed422(std::array<int, 4> order) {
    return [=](QVideoFrame& f) {
        for (int y = 0; y < kFrame.height(); ++y)
            for (int x = 0; x < kFrame.width(); x += 2) {
                uchar* p = f.bits(0) + y * f.bytesPerLine(0) + 2 * x;
                const Yuv c = colourAt(x);
                p[order[0]] = c.y;
                p[order[1]] = c.u;
                p[order[2]] = colourAt(x + 1).y;
                p[order[3]] = c.v;
            }
    };
}
// 8-bit RGB in memory order: where red, green, blue and the fourth byte go.
Writer rgb(std::array<int, 4> order) {
    return [=](QVideoFrame& f) {
        for (int y = 0; y < kFrame.height(); ++y)
            for (int x = 0; x < kFrame.width(); ++x) {
                uchar* p = f.bits(0) + y * f.bytesPerLine(0) + 4 * x;
                const QRgb c = rgbAt(x);
                p[order[0]] = uchar(qRed(c));
                p[order[1]] = uchar(qGreen(c));
                p[order[2]] = uchar(qBlue(c));
                p[order[3]] = 255;
            }
    };
}

QVideoFrame makeFrame(QVideoFrameFormat::PixelFormat pixelFormat, const Writer& write) {
    QVideoFrameFormat format(kFrame, pixelFormat);
    format.setColorSpace(QVideoFrameFormat::ColorSpace_BT601);
    format.setColorRange(QVideoFrameFormat::ColorRange_Video);
    QVideoFrame frame(format);
    if (frame.map(QVideoFrame::WriteOnly)) {
        write(frame);
        frame.unmap();
    }
    return frame;
}

bool near(QRgb a, QRgb b) {
    constexpr int kTolerance = 24;
    return std::abs(qRed(a) - qRed(b)) <= kTolerance && std::abs(qGreen(a) - qGreen(b)) <= kTolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= kTolerance;
}

// What shows that the process drew with OpenGL: a Mesa driver or the NVIDIA core mapped in, or the software
// rasteriser's threads.
QString graphicsDriverInUse() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (maps.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : maps.readAll().split('\n')) {
            if (line.contains("_dri.so") || line.contains("libnvidia-glcore"))
                return QString::fromLatin1(line.mid(line.lastIndexOf(' ') + 1));
        }
    }
    for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().startsWith("llvmpipe"))
            return QStringLiteral("thread llvmpipe");
    }
    return {};
}

} // namespace

// On a real X server, where the toolkit can make an OpenGL context: a preview converts its frames on the processor
// into exactly the picture it paints, and never starts a graphics driver for it.
class PreviewFramesXcbTests : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        QCOMPARE(graphicsDriverInUse(), QString());
    }

    void framesOfTheBackendsFormatsFillTheView_data() {
        using F = QVideoFrameFormat;
        QTest::addColumn<QVideoFrame>("frame");
        QTest::addColumn<int>("side");
        for (const int side : {36, 24})
            QTest::addRow("YUV420P %d", side) << makeFrame(F::Format_YUV420P, planar(false)) << side;
        for (const int side : {36, 24})
            QTest::addRow("YV12 %d", side) << makeFrame(F::Format_YV12, planar(true)) << side;
        for (const int side : {36, 24})
            QTest::addRow("NV12 %d", side) << makeFrame(F::Format_NV12, semiPlanar(false)) << side;
        for (const int side : {36, 24})
            QTest::addRow("NV21 %d", side) << makeFrame(F::Format_NV21, semiPlanar(true)) << side;
        for (const int side : {36, 24})
            QTest::addRow("YUYV %d", side) << makeFrame(F::Format_YUYV, packed422({0, 1, 2, 3})) << side;
        for (const int side : {36, 24})
            QTest::addRow("UYVY %d", side) << makeFrame(F::Format_UYVY, packed422({1, 0, 3, 2})) << side;
        for (const int side : {36, 24})
            QTest::addRow("BGRA8888 %d", side) << makeFrame(F::Format_BGRA8888, rgb({2, 1, 0, 3})) << side;
        for (const int side : {36, 24})
            QTest::addRow("BGRX8888 %d", side) << makeFrame(F::Format_BGRX8888, rgb({2, 1, 0, 3})) << side;
        for (const int side : {36, 24})
            QTest::addRow("ARGB8888 %d", side) << makeFrame(F::Format_ARGB8888, rgb({1, 2, 3, 0})) << side;
        for (const int side : {36, 24})
            QTest::addRow("XRGB8888 %d", side) << makeFrame(F::Format_XRGB8888, rgb({1, 2, 3, 0})) << side;
        for (const int side : {36, 24})
            QTest::addRow("RGBA8888 %d", side) << makeFrame(F::Format_RGBA8888, rgb({0, 1, 2, 3})) << side;
        for (const int side : {36, 24})
            QTest::addRow("RGBX8888 %d", side) << makeFrame(F::Format_RGBX8888, rgb({0, 1, 2, 3})) << side;
        for (const int side : {36, 24})
            QTest::addRow("ABGR8888 %d", side) << makeFrame(F::Format_ABGR8888, rgb({3, 2, 1, 0})) << side;
        for (const int side : {36, 24})
            QTest::addRow("XBGR8888 %d", side) << makeFrame(F::Format_XBGR8888, rgb({3, 2, 1, 0})) << side;
    }

    void framesOfTheBackendsFormatsFillTheView() {
        QFETCH(QVideoFrame, frame);
        QFETCH(int, side);
        QVERIFY(frame.isValid());
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* view = new VideoPlayerView(&window);
        layout->addWidget(view);
        // Square: the 16:9 frame is cut at both sides, the green strip with it; as tall as the frame, or smaller.
        window.resize(side, side);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        StillBackend backend;
        view->setPlayer(&backend);
        view->videoSink()->setVideoFrame(frame);
        QTRY_VERIFY(!view->currentFrame().isNull());

        const QImage shown = view->currentFrame();
        QCOMPARE(shown.size(), (QSizeF(view->size()) * view->devicePixelRatioF()).toSize());
        const int w = shown.width(), h = shown.height();
        for (int y : {1, h / 2, h - 2}) {
            for (int x = 0; x < w; ++x) {
                const QRgb pixel = shown.pixel(x, y);
                QVERIFY2(!near(pixel, qRgb(0, 255, 0)), qPrintable(QStringLiteral("green at %1,%2").arg(x).arg(y)));
            }
            QVERIFY2(near(shown.pixel(2, y), qRgb(255, 0, 0)), qPrintable(QString::number(shown.pixel(2, y), 16)));
            QVERIFY2(near(shown.pixel(w - 3, y), qRgb(0, 0, 255)),
                     qPrintable(QString::number(shown.pixel(w - 3, y), 16)));
        }
        QCOMPARE(graphicsDriverInUse(), QString());
    }

    // While frames play the view covers the card with its own picture, corners included; the card shows again when
    // the player moves on. Read back from the X server: what the window really shows, not a fresh rendering.
    void theCardShowsAtTheCornersAndAfterThePreview() {
        QWidget window;
        window.setAutoFillBackground(true);
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, Qt::red);
        window.setPalette(palette);
        window.resize(160, 100);
        auto* view = new VideoPlayerView(&window);
        view->setGeometry(20, 10, 96, 54);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        StillBackend backend;
        view->setPlayer(&backend);
        const auto onScreen = [&](QPoint at) {
            return QGuiApplication::primaryScreen()->grabWindow(window.winId()).toImage().pixel(at);
        };
        const QPoint corner = view->geometry().topLeft() + QPoint(1, 1);
        const QPoint right = view->geometry().center() + QPoint(view->width() / 4, 0);
        // Frame after frame: the view's own picture, and the window's red at its rounded corner (not the frame's
        // green edge, nor black).
        for (int frame = 0; frame < 3; ++frame) {
            view->videoSink()->setVideoFrame(makeFrame(QVideoFrameFormat::Format_BGRA8888, rgb({2, 1, 0, 3})));
            QTRY_VERIFY(near(onScreen(right), qRgb(0, 0, 255)));
            QVERIFY2(near(onScreen(corner), qRgb(255, 0, 0)), qPrintable(QString::number(onScreen(corner), 16)));
        }
        // The player moved on to another item: its last frame is gone, the card shows through again.
        backend.item = 2;
        view->update();
        QTRY_VERIFY(near(onScreen(right), qRgb(255, 0, 0)));
        QVERIFY(near(onScreen(corner), qRgb(255, 0, 0)));
    }
};

ORVANE_VIRTUAL_DISPLAY_TEST_MAIN(PreviewFramesXcbTests)
#include "tst_preview_frames_xcb.moc"
