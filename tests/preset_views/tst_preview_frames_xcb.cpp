#include "PresetTestSupport.h"
#include "PreviewFrameSink.h"
#include "SilentPreviewBackend.h"
#include "VideoPlayerView.h"
#include "VirtualDisplay.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <cstdio>

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
    void setVideoOutput(PreviewFrameSink*) override {}
    ItemId item = 1;
};

constexpr QSize kFrame(64, 36);
// A strip this wide at the left edge, green: filling a square view cuts it away.
constexpr int kEdge = 8;

// A picture as the player hands it over: the green strip, then red up to the middle, then blue.
QImage picture(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    const int edge = kEdge * size.width() / kFrame.width();
    painter.fillRect(0, 0, edge, size.height(), Qt::green);
    painter.fillRect(edge, 0, size.width() / 2 - edge, size.height(), Qt::red);
    painter.fillRect(size.width() / 2, 0, size.width() - size.width() / 2, size.height(), Qt::blue);
    return image;
}

bool near(QRgb a, QRgb b, int tolerance = 24) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
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

// On a real X server, where the toolkit can make an OpenGL context: a preview paints the pictures its player made
// ready at its size as they are, rounded, and never starts a graphics driver for them.
class PreviewFramesXcbTests : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        QCOMPARE(graphicsDriverInUse(), QString());
    }

    // A real player: the view asks for pictures at its size in device pixels and shows them without converting
    // them again; hidden, it asks for none, and shown again it has the picture of the moment at once.
    void aPlayingPreviewShowsThePicturesMadeForIt() {
        QTemporaryDir folder;
        QVERIFY(PresetTestSupport::haveFfmpeg());
        const QString clip = folder.filePath(QStringLiteral("clip.mp4"));
        QVERIFY(PresetTestSupport::makeClip(clip, 320, 176, 2.0, 25));
        QWidget window;
        window.resize(160, 100);
        auto* view = new VideoPlayerView(&window);
        view->setGeometry(10, 10, 96, 54);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        SilentPreviewBackend backend;
        view->setPlayer(&backend);
        PreviewFrameSink* sink = view->videoSink();
        const auto deviceSize = [view] { return (QSizeF(view->size()) * view->devicePixelRatioF()).toSize(); };
        QCOMPARE(sink->targetSize(), deviceSize());
        QSignalSpy frames(sink, &PreviewFrameSink::frameChanged);
        backend.replaceCurrentItem(QUrl::fromLocalFile(clip));
        backend.play();
        QTRY_VERIFY_WITH_TIMEOUT(frames.size() >= 5, 5000);
        QCOMPARE(view->currentFrame().size(), deviceSize());
        // The very picture the player made: nothing converted again on the GUI thread.
        QCOMPARE(view->currentFrame().constBits(), sink->frame().constBits());

        // Paused, what the window shows is that picture.
        backend.pause();
        QTest::qWait(100);
        const QImage shown = view->currentFrame();
        const QPoint middle = view->rect().center();
        QTRY_VERIFY(near(
            QGuiApplication::primaryScreen()->grabWindow(window.winId()).toImage().pixel(view->mapTo(&window, middle)),
            shown.pixel(middle), 8));

        // Resized: the next pictures come at the new size.
        backend.play();
        view->resize(64, 64);
        QTRY_COMPARE(view->currentFrame().size(), deviceSize());

        // Hidden, nothing is made for it while the clip plays on; shown again, a picture comes at once.
        view->hide();
        QVERIFY(sink->targetSize().isEmpty());
        QTest::qWait(100);
        frames.clear();
        QTest::qWait(400);
        QCOMPARE(frames.size(), 0);
        backend.pause();
        view->show();
        QTRY_COMPARE_WITH_TIMEOUT(frames.size(), 1, 1000);
        QCOMPARE(frames.first().first().value<QImage>().size(), deviceSize());
        view->setPlayer(nullptr);
        backend.setVideoOutput(nullptr);
        QCOMPARE(graphicsDriverInUse(), QString());
    }

    // While frames play the view covers the card with its own picture, corners included, whether the picture was
    // made at its size or (on its way during a resize) at another; the card shows again when the player moves on.
    // Read back from the X server: what the window really shows, not a fresh rendering.
    void theCardShowsAtTheCornersAndAfterThePreview_data() {
        QTest::addColumn<bool>("madeForTheView");
        QTest::newRow("made at the view's size") << true;
        QTest::newRow("made at another size") << false;
    }
    void theCardShowsAtTheCornersAndAfterThePreview() {
        QFETCH(bool, madeForTheView);
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
        const QPoint left = view->geometry().topLeft() + QPoint(3, view->height() / 2);
        const QSize size = madeForTheView ? view->videoSink()->targetSize() : kFrame;
        // Frame after frame: the view's own picture, and the window's red at its rounded corner (not the frame's
        // green edge, nor black).
        for (int frame = 0; frame < 3; ++frame) {
            view->videoSink()->setFrame(picture(size));
            QTRY_VERIFY(near(onScreen(right), qRgb(0, 0, 255)));
            QVERIFY2(near(onScreen(corner), qRgb(255, 0, 0)), qPrintable(QString::number(onScreen(corner), 16)));
            // The picture's own edge, where no corner is rounded: not cut, not covered.
            if (madeForTheView)
                QVERIFY2(near(onScreen(left), qRgb(0, 255, 0)), qPrintable(QString::number(onScreen(left), 16)));
        }
        // The player moved on to another item: its last frame is gone, the card shows through again.
        backend.item = 2;
        view->update();
        QTRY_VERIFY(near(onScreen(right), qRgb(255, 0, 0)));
        QVERIFY(near(onScreen(corner), qRgb(255, 0, 0)));
        QCOMPARE(graphicsDriverInUse(), QString());
    }
};

ORVANE_VIRTUAL_DISPLAY_TEST_MAIN(PreviewFramesXcbTests)
#include "tst_preview_frames_xcb.moc"
