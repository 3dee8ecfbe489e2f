#include "WireDecoding.h"

#include <QFutureWatcher>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTest>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

class WireDecodingTest : public QObject {
    Q_OBJECT

private:
    static QByteArray randomBytes(qsizetype size) {
        QByteArray bytes(size, Qt::Uninitialized);
        QRandomGenerator generator(7);
        for (char& byte : bytes)
            byte = char(generator.bounded(256));
        return bytes;
    }

    // Qt's own one-piece reading, the behaviour the sliced decoder must keep.
    static std::optional<QByteArray> inOnePiece(const QByteArray& text) {
        auto decoded = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return std::nullopt;
        return decoded.decoded;
    }

private slots:
    void longTextsDecodeAsInOnePiece_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("valid");
        // Over twice the slice length, not a whole number of slices, so the last slice is short.
        const QByteArray bytes = randomBytes(7 * 1024 * 1024 + 1); // one padding character
        const QByteArray padded = bytes.toBase64();
        QTest::newRow("padded") << padded << true;
        QTest::newRow("unpadded") << bytes.toBase64(QByteArray::OmitTrailingEquals) << true;
        QTest::newRow("url alphabet") << bytes.toBase64(QByteArray::Base64UrlEncoding) << false;
        QByteArray early = padded;
        early[100] = '=';
        QTest::newRow("padding in the first slice") << early << false;
        QByteArray middle = padded;
        middle[5 * 1024 * 1024 + 1] = '\n';
        QTest::newRow("line break in a middle slice") << middle << false;
        QByteArray last = padded;
        last[padded.size() - 10] = '%';
        QTest::newRow("stray byte in the last slice") << last << false;
        QTest::newRow("short") << randomBytes(1000).toBase64() << true;
        QTest::newRow("short with a stray byte") << QByteArray("QUJD%") << false;
    }

    void longTextsDecodeAsInOnePiece() {
        QFETCH(QByteArray, text);
        QFETCH(bool, valid);
        const auto decoded = WireDecoding::decodeBase64(text.constData(), text.size());
        QCOMPARE(decoded.has_value(), valid);
        const auto expected = inOnePiece(text);
        QCOMPARE(decoded.has_value(), expected.has_value());
        if (decoded) {
            QCOMPARE(decoded->size(), expected->size());
            QVERIFY(*decoded == *expected);
        }
    }

    // Replies are decoded on the shared pool: a decode running there while every other thread of the pool is
    // busy still finishes, without waiting for a thread to come free.
    void aDecodeOnAFullPoolStillFinishes() {
        QThreadPool& pool = *QThreadPool::globalInstance();
        const QByteArray bytes = randomBytes(9 * 1024 * 1024);
        const QByteArray text = bytes.toBase64();
        QSemaphore started;
        QSemaphore gate;
        const int others = pool.maxThreadCount() - 1;
        const auto release = qScopeGuard([&] {
            gate.release(others);
            pool.waitForDone();
        });
        for (int i = 0; i < others; ++i) {
            pool.start([&] {
                started.release();
                gate.acquire();
            });
        }
        QVERIFY(started.tryAcquire(others, 5000));
        QFuture<std::optional<QByteArray>> decoding =
            QtConcurrent::run(&pool, [&text] { return WireDecoding::decodeBase64(text.constData(), text.size()); });
        QTRY_VERIFY_WITH_TIMEOUT(decoding.isFinished(), 10000);
        QVERIFY(decoding.result() == bytes);
    }
};

QTEST_GUILESS_MAIN(WireDecodingTest)
#include "tst_wire_decoding.moc"
