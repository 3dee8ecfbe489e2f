#include "VideoFrameScaler.h"

#include <QByteArray>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

Q_DECLARE_METATYPE(AVPixelFormat)

namespace {

// BT.601 limited-range samples of three colours.
struct Yuv {
    uchar y, u, v;
};
constexpr Yuv kRed{81, 90, 240};
constexpr Yuv kBlue{41, 240, 110};
constexpr Yuv kGreen{145, 54, 34};

constexpr QSize kFrame(64, 36);
// A strip this wide at the left edge, green: filling a square cuts it away.
constexpr int kEdge = 8;

// The colour the frame has at column x: the green strip, then red up to the middle, then blue.
Yuv colourAt(int x) {
    return x < kEdge ? kGreen : x < kFrame.width() / 2 ? kRed : kBlue;
}
QRgb rgbAt(int x) {
    return x < kEdge ? qRgb(0, 255, 0) : x < kFrame.width() / 2 ? qRgb(255, 0, 0) : qRgb(0, 0, 255);
}

// A decoded picture in memory the test owns, handed over as a decoder hands its own.
class Picture {
public:
    Picture(AVPixelFormat format, int planes, QSize size = kFrame)
        : frame_(av_frame_alloc()), stride_(std::max(512, size.width() * 4)) {
        frame_->format = format;
        frame_->width = size.width();
        frame_->height = size.height();
        for (int p = 0; p < planes; ++p) {
            // Room past the last row for the scaler's wide reads.
            memory_.emplace_back(qsizetype(stride_) * (size.height() + 4), '\0');
            frame_->data[p] = reinterpret_cast<uint8_t*>(memory_.back().data());
            frame_->linesize[p] = stride_;
        }
    }
    ~Picture() { av_frame_free(&frame_); }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    uchar* row(int plane, int y) { return frame_->data[plane] + qsizetype(y) * stride_; }
    AVFrame* operator->() { return frame_; }
    const AVFrame& frame() const { return *frame_; }

private:
    AVFrame* frame_;
    int stride_;
    std::vector<QByteArray> memory_;
};

using Writer = std::function<void(Picture&)>;

// Planar YUV: chroma shared by 2^xShift by 2^yShift pixels, samples of `bytes` bytes (the 8-bit value in the top
// bits of a wider one).
Writer planar(int xShift, int yShift, int bytes = 1) {
    return [=](Picture& f) {
        const auto put = [bytes](uchar* at, int x, uchar value) {
            if (bytes == 1)
                at[x] = value;
            else
                reinterpret_cast<quint16*>(at)[x] = quint16(value << 2);
        };
        for (int y = 0; y < kFrame.height(); ++y)
            for (int x = 0; x < kFrame.width(); ++x)
                put(f.row(0, y), x, colourAt(x).y);
        for (int y = 0; y < kFrame.height() >> yShift; ++y)
            for (int x = 0; x < kFrame.width() >> xShift; ++x) {
                put(f.row(1, y), x, colourAt(x << xShift).u);
                put(f.row(2, y), x, colourAt(x << xShift).v);
            }
    };
}
// Semi-planar 4:2:0: one plane of brightness, one of chroma pairs; 16-bit samples hold the value in their top bits.
Writer semiPlanar(bool vFirst, int bytes = 1) {
    return [=](Picture& f) {
        const auto put = [bytes](uchar* at, int x, uchar value) {
            if (bytes == 1)
                at[x] = value;
            else
                reinterpret_cast<quint16*>(at)[x] = quint16(value << 8);
        };
        for (int y = 0; y < kFrame.height(); ++y)
            for (int x = 0; x < kFrame.width(); ++x)
                put(f.row(0, y), x, colourAt(x).y);
        for (int y = 0; y < kFrame.height() / 2; ++y)
            for (int x = 0; x < kFrame.width() / 2; ++x) {
                put(f.row(1, y), 2 * x + (vFirst ? 1 : 0), colourAt(2 * x).u);
                put(f.row(1, y), 2 * x + (vFirst ? 0 : 1), colourAt(2 * x).v);
            }
    };
}
// Packed 4:2:2, two pixels in four bytes; `order` names where Y0, U, Y1, V go.
Writer packed422(std::array<int, 4> order) {
    return [=](Picture& f) {
        for (int y = 0; y < kFrame.height(); ++y)
            for (int x = 0; x < kFrame.width(); x += 2) {
                uchar* p = f.row(0, y) + 2 * x;
                const Yuv c = colourAt(x);
                p[order[0]] = c.y;
                p[order[1]] = c.u;
                p[order[2]] = colourAt(x + 1).y;
                p[order[3]] = c.v;
            }
    };
}
// 8-bit RGB in memory order, `order.size()` bytes a pixel: where red, green, blue (and the fourth byte) go.
template <size_t N> Writer rgb(std::array<int, N> order) {
    return [=](Picture& f) {
        for (int y = 0; y < kFrame.height(); ++y)
            for (int x = 0; x < kFrame.width(); ++x) {
                uchar* p = f.row(0, y) + N * x;
                const QRgb c = rgbAt(x);
                p[order[0]] = uchar(qRed(c));
                p[order[1]] = uchar(qGreen(c));
                p[order[2]] = uchar(qBlue(c));
                if constexpr (N == 4)
                    p[order[3]] = 255;
            }
    };
}
// Planar RGB, the planes green, blue, red.
Writer planarRgb() {
    return [](Picture& f) {
        for (int y = 0; y < kFrame.height(); ++y)
            for (int x = 0; x < kFrame.width(); ++x) {
                f.row(0, y)[x] = uchar(qGreen(rgbAt(x)));
                f.row(1, y)[x] = uchar(qBlue(rgbAt(x)));
                f.row(2, y)[x] = uchar(qRed(rgbAt(x)));
            }
    };
}
// Eight-bit indexes into a palette of 32-bit colours in the second plane.
Writer paletted() {
    return [](Picture& f) {
        auto* palette = reinterpret_cast<quint32*>(f.row(1, 0));
        const QRgb colours[] = {rgbAt(0), rgbAt(kEdge), rgbAt(kFrame.width() - 1)};
        for (int i = 0; i < 3; ++i)
            palette[i] = colours[i] | 0xff000000u;
        for (int y = 0; y < kFrame.height(); ++y)
            for (int x = 0; x < kFrame.width(); ++x)
                f.row(0, y)[x] = uchar(x < kEdge ? 0 : x < kFrame.width() / 2 ? 1 : 2);
    };
}

bool near(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

QString rgbText(QRgb pixel) {
    return QStringLiteral("(%1, %2, %3)").arg(qRed(pixel)).arg(qGreen(pixel)).arg(qBlue(pixel));
}

} // namespace

// Decoded pictures made ready to paint: cut to fill the target, centred, in the colours the picture was coded with.
class VideoFrameScalerTest : public QObject {
    Q_OBJECT
private slots:
    // Every layout a decoder hands over: the middle of a 16:9 picture fills a square, its green left edge cut away,
    // at the picture's height, smaller and larger.
    void picturesOfEveryLayoutFillTheTarget_data() {
        QTest::addColumn<AVPixelFormat>("format");
        QTest::addColumn<int>("planes");
        QTest::addColumn<Writer>("write");
        QTest::addColumn<int>("side");
        const struct {
            const char* name;
            AVPixelFormat format;
            int planes;
            Writer write;
        } layouts[] = {
            {"YUV420P", AV_PIX_FMT_YUV420P, 3, planar(1, 1)},
            {"YUV422P", AV_PIX_FMT_YUV422P, 3, planar(1, 0)},
            {"YUV444P", AV_PIX_FMT_YUV444P, 3, planar(0, 0)},
            {"YUV420P10", AV_PIX_FMT_YUV420P10LE, 3, planar(1, 1, 2)},
            {"NV12", AV_PIX_FMT_NV12, 2, semiPlanar(false)},
            {"NV21", AV_PIX_FMT_NV21, 2, semiPlanar(true)},
            {"P010", AV_PIX_FMT_P010LE, 2, semiPlanar(false, 2)},
            {"YUYV", AV_PIX_FMT_YUYV422, 1, packed422({0, 1, 2, 3})},
            {"UYVY", AV_PIX_FMT_UYVY422, 1, packed422({1, 0, 3, 2})},
            {"BGRA", AV_PIX_FMT_BGRA, 1, rgb<4>({2, 1, 0, 3})},
            {"BGR0", AV_PIX_FMT_BGR0, 1, rgb<4>({2, 1, 0, 3})},
            {"ARGB", AV_PIX_FMT_ARGB, 1, rgb<4>({1, 2, 3, 0})},
            {"0RGB", AV_PIX_FMT_0RGB, 1, rgb<4>({1, 2, 3, 0})},
            {"RGBA", AV_PIX_FMT_RGBA, 1, rgb<4>({0, 1, 2, 3})},
            {"RGB0", AV_PIX_FMT_RGB0, 1, rgb<4>({0, 1, 2, 3})},
            {"ABGR", AV_PIX_FMT_ABGR, 1, rgb<4>({3, 2, 1, 0})},
            {"0BGR", AV_PIX_FMT_0BGR, 1, rgb<4>({3, 2, 1, 0})},
            {"RGB24", AV_PIX_FMT_RGB24, 1, rgb<3>({0, 1, 2})},
            {"BGR24", AV_PIX_FMT_BGR24, 1, rgb<3>({2, 1, 0})},
            {"GBRP", AV_PIX_FMT_GBRP, 3, planarRgb()},
            {"PAL8", AV_PIX_FMT_PAL8, 2, paletted()},
        };
        for (const auto& layout : layouts) {
            for (const int side : {36, 24, 25, 12, 48})
                QTest::addRow("%s %d", layout.name, side) << layout.format << layout.planes << layout.write << side;
        }
    }
    void picturesOfEveryLayoutFillTheTarget() {
        QFETCH(AVPixelFormat, format);
        QFETCH(int, planes);
        QFETCH(Writer, write);
        QFETCH(int, side);
        Picture picture(format, planes);
        picture->colorspace = AVCOL_SPC_SMPTE170M;
        picture->color_range = AVCOL_RANGE_MPEG;
        write(picture);
        VideoFrameScaler scaler;
        const QImage shown = scaler.filled(picture.frame(), QSize(side, side));
        QCOMPARE(shown.size(), QSize(side, side));
        QCOMPARE(shown.format(), QImage::Format_RGB32);
        constexpr int kTolerance = 24;
        for (int y : {1, side / 2, side - 2}) {
            for (int x = 0; x < side; ++x) {
                QVERIFY2(!near(shown.pixel(x, y), qRgb(0, 255, 0), kTolerance),
                         qPrintable(QStringLiteral("green at %1,%2").arg(x).arg(y)));
            }
            QVERIFY2(near(shown.pixel(2, y), qRgb(255, 0, 0), kTolerance), qPrintable(rgbText(shown.pixel(2, y))));
            QVERIFY2(near(shown.pixel(side - 3, y), qRgb(0, 0, 255), kTolerance),
                     qPrintable(rgbText(shown.pixel(side - 3, y))));
        }
    }

    // The matrix and the range the picture says it was coded with; an unmarked picture as a player guesses: the
    // high-definition matrix from 720 lines up. The same colour, (60, 160, 220), coded each way.
    void theColoursAreReadAsThePictureWasCoded_data() {
        QTest::addColumn<AVPixelFormat>("format");
        QTest::addColumn<int>("colorspace");
        QTest::addColumn<int>("range");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("u");
        QTest::addColumn<int>("v");
        const QSize small(64, 36), high(1280, 720);
        QTest::newRow("BT.601 limited") << AV_PIX_FMT_YUV420P << int(AVCOL_SPC_SMPTE170M) << int(AVCOL_RANGE_MPEG)
                                        << small << 134 << 169 << 80;
        QTest::newRow("BT.601 full") << AV_PIX_FMT_YUV420P << int(AVCOL_SPC_BT470BG) << int(AVCOL_RANGE_JPEG) << small
                                     << 137 << 175 << 73;
        QTest::newRow("BT.601 full, a JPEG format") << AV_PIX_FMT_YUVJ420P << int(AVCOL_SPC_UNSPECIFIED)
                                                    << int(AVCOL_RANGE_UNSPECIFIED) << small << 137 << 175 << 73;
        QTest::newRow("BT.709 limited") << AV_PIX_FMT_YUV420P << int(AVCOL_SPC_BT709) << int(AVCOL_RANGE_MPEG) << small
                                        << 139 << 164 << 82;
        QTest::newRow("BT.709 full") << AV_PIX_FMT_YUV420P << int(AVCOL_SPC_BT709) << int(AVCOL_RANGE_JPEG) << small
                                     << 143 << 169 << 75;
        QTest::newRow("unmarked, small") << AV_PIX_FMT_YUV420P << int(AVCOL_SPC_UNSPECIFIED)
                                         << int(AVCOL_RANGE_UNSPECIFIED) << small << 134 << 169 << 80;
        QTest::newRow("unmarked, 720 lines") << AV_PIX_FMT_YUV420P << int(AVCOL_SPC_UNSPECIFIED)
                                             << int(AVCOL_RANGE_UNSPECIFIED) << high << 139 << 164 << 82;
    }
    void theColoursAreReadAsThePictureWasCoded() {
        QFETCH(AVPixelFormat, format);
        QFETCH(int, colorspace);
        QFETCH(int, range);
        QFETCH(QSize, size);
        QFETCH(int, y);
        QFETCH(int, u);
        QFETCH(int, v);
        Picture picture(format, 3, size);
        picture->colorspace = AVColorSpace(colorspace);
        picture->color_range = AVColorRange(range);
        for (int row = 0; row < size.height(); ++row) {
            memset(picture.row(0, row), y, size_t(size.width()));
            memset(picture.row(1, row / 2), u, size_t(size.width() / 2));
            memset(picture.row(2, row / 2), v, size_t(size.width() / 2));
        }
        VideoFrameScaler scaler;
        const int side = size.height() / 2;
        const QImage shown = scaler.filled(picture.frame(), QSize(side, side));
        QCOMPARE(shown.size(), QSize(side, side));
        const QRgb middle = shown.pixel(side / 2, side / 2);
        QVERIFY2(near(middle, qRgb(60, 160, 220), 4), qPrintable(rgbText(middle)));
    }

    // Shrunk many times over, fine detail averages out to its mean instead of showing as coarse stripes: one-pixel
    // black and white lines, across and down, become an even grey, to the picture's edges.
    void fineDetailAveragesOut_data() {
        QTest::addColumn<AVPixelFormat>("format");
        QTest::addColumn<QSize>("target");
        for (const QSize target : {QSize(100, 100), QSize(160, 90), QSize(37, 61)}) {
            const QString size = QStringLiteral("%1x%2").arg(target.width()).arg(target.height());
            QTest::addRow("YUV420P %s", qPrintable(size)) << AV_PIX_FMT_YUV420P << target;
            QTest::addRow("YUV444P %s", qPrintable(size)) << AV_PIX_FMT_YUV444P << target;
            QTest::addRow("YUV422P %s", qPrintable(size)) << AV_PIX_FMT_YUV422P << target;
        }
    }
    void fineDetailAveragesOut() {
        QFETCH(AVPixelFormat, format);
        QFETCH(QSize, target);
        const QSize size(1280, 720);
        for (const bool across : {true, false}) {
            Picture picture(format, 3, size);
            picture->colorspace = AVCOL_SPC_BT709;
            picture->color_range = AVCOL_RANGE_JPEG;
            for (int y = 0; y < size.height(); ++y) {
                for (int x = 0; x < size.width(); ++x)
                    picture.row(0, y)[x] = ((across ? y : x) % 2) ? 255 : 0;
                memset(picture.row(1, y), 128, size_t(size.width())); // no colour
                memset(picture.row(2, y), 128, size_t(size.width()));
            }
            VideoFrameScaler scaler;
            const QImage shown = scaler.filled(picture.frame(), target);
            QCOMPARE(shown.size(), target);
            for (int y = 0; y < target.height(); ++y) {
                for (int x = 0; x < target.width(); ++x) {
                    QVERIFY2(near(shown.pixel(x, y), qRgb(128, 128, 128), 8),
                             qPrintable(QStringLiteral("%1 at %2,%3").arg(rgbText(shown.pixel(x, y))).arg(x).arg(y)));
                }
            }
        }
    }

    // A picture still held (on screen, or on its way there) is never written over; one let go is written again
    // instead of new memory being taken for each picture.
    void heldPicturesAreNeverWrittenOver() {
        Picture red(AV_PIX_FMT_YUV420P, 3), blue(AV_PIX_FMT_YUV420P, 3);
        for (auto [picture, colour] : {std::pair{&red, kRed}, std::pair{&blue, kBlue}}) {
            for (int row = 0; row < kFrame.height(); ++row) {
                memset(picture->row(0, row), colour.y, size_t(kFrame.width()));
                memset(picture->row(1, row / 2), colour.u, size_t(kFrame.width() / 2));
                memset(picture->row(2, row / 2), colour.v, size_t(kFrame.width() / 2));
            }
        }
        VideoFrameScaler scaler;
        const QSize target(32, 18);
        QList<QImage> held;
        QSet<const uchar*> memory;
        for (int i = 0; i < 6; ++i) {
            held << scaler.filled((i % 2 ? blue : red).frame(), target);
            QVERIFY(!held.last().isNull());
            memory << held.last().constBits();
            for (int j = 0; j < held.size(); ++j) {
                const QRgb expected = j % 2 ? qRgb(0, 0, 255) : qRgb(255, 0, 0);
                QVERIFY2(near(held[j].pixel(16, 9), expected, 24), qPrintable(QString::number(j)));
            }
        }
        QCOMPARE(memory.size(), 6);

        // Shown one after the other, each let go once the next is on screen.
        held.clear();
        memory.clear();
        QImage onScreen;
        for (int i = 0; i < 20; ++i) {
            const QImage next = scaler.filled((i % 2 ? blue : red).frame(), target);
            QVERIFY(near(next.pixel(16, 9), i % 2 ? qRgb(0, 0, 255) : qRgb(255, 0, 0), 24));
            if (!onScreen.isNull())
                QVERIFY(near(onScreen.pixel(16, 9), i % 2 ? qRgb(255, 0, 0) : qRgb(0, 0, 255), 24));
            onScreen = next;
            memory << onScreen.constBits();
        }
        QVERIFY2(memory.size() <= 3, qPrintable(QString::number(memory.size())));
    }

    // Nothing for an empty target, a hardware surface, packed bits or a layout the scaler does not read; the
    // next picture it can read converts as before.
    void picturesItCannotReadGiveNothing_data() {
        QTest::addColumn<AVPixelFormat>("format");
        QTest::addColumn<QSize>("target");
        QTest::newRow("empty target") << AV_PIX_FMT_YUV420P << QSize(0, 16);
        QTest::newRow("no format") << AV_PIX_FMT_NONE << QSize(16, 16);
        QTest::newRow("hardware surface") << AV_PIX_FMT_VAAPI << QSize(16, 16);
        QTest::newRow("packed bits") << AV_PIX_FMT_MONOBLACK << QSize(16, 16);
        QTest::newRow("not read by the scaler") << AV_PIX_FMT_UYYVYY411 << QSize(16, 16);
    }
    void picturesItCannotReadGiveNothing() {
        QFETCH(AVPixelFormat, format);
        QFETCH(QSize, target);
        Picture good(AV_PIX_FMT_YUV420P, 3);
        planar(1, 1)(good);
        VideoFrameScaler scaler;
        QVERIFY(!scaler.filled(good.frame(), QSize(24, 24)).isNull());
        Picture bad(format, 3);
        QVERIFY(scaler.filled(bad.frame(), target).isNull());
        const QImage again = scaler.filled(good.frame(), QSize(24, 24));
        QVERIFY(!again.isNull());
        QVERIFY(near(again.pixel(2, 12), qRgb(255, 0, 0), 24));
    }
};

QTEST_GUILESS_MAIN(VideoFrameScalerTest)
#include "tst_video_frame_scaler.moc"
