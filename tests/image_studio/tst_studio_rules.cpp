#include "ReplyDocument.h"
#include "StudioRules.h"
#include "StudioTestSupport.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTextBlock>

using namespace StudioRules;

Q_DECLARE_METATYPE(StudioRules::ResultState)
Q_DECLARE_METATYPE(StudioRules::TextButtonTone)
Q_DECLARE_METATYPE(VideoGenerationMode)

// The display rules of the panels, and the safety of the reply text.
class StudioRulesTest : public QObject {
    Q_OBJECT

    static QStringList markedLevels(double temperature) {
        QStringList marked;
        for (const CreativityLevel& level : creativityLevels()) {
            if (isLevelSelected(temperature, level))
                marked << level.label;
        }
        return marked;
    }

private slots:
    void creativityLevelsAreMarkedWithinATenth_data() {
        QTest::addColumn<double>("temperature");
        QTest::addColumn<QStringList>("marked");
        QTest::newRow("default") << 0.7 << QStringList{"Balanced"};
        QTest::newRow("0.75 is near") << 0.75 << QStringList{"Balanced"};
        QTest::newRow("0.8 is a tenth off") << 0.8 << QStringList{};
        QTest::newRow("0.6 lands just inside") << 0.6 << QStringList{"Balanced"};
        QTest::newRow("1.0 marks none") << 1.0 << QStringList{};
        QTest::newRow("1.1 lands just inside") << 1.1 << QStringList{"Creative"};
        QTest::newRow("precise") << 0.0 << QStringList{"Precise"};
        QTest::newRow("wild") << 2.0 << QStringList{"Wild"};
        QTest::newRow("1.9 is a tenth off") << 1.9 << QStringList{};
    }

    void creativityLevelsAreMarkedWithinATenth() {
        QFETCH(double, temperature);
        QFETCH(QStringList, marked);
        QCOMPARE(markedLevels(temperature), marked);
    }

    void referenceStripLayoutsAndColumns() {
        QCOMPARE(stripLayout(0), StripLayout::empty);
        QCOMPARE(stripLayout(1), StripLayout::single);
        QCOMPARE(stripLayout(2), StripLayout::pair);
        QCOMPARE(stripLayout(3), StripLayout::grid);
        QCOMPARE(stripLayout(9), StripLayout::grid);
        QCOMPARE(gridColumns(0.9), 2);
        QCOMPARE(gridColumns(1.0), 2);
        QCOMPARE(gridColumns(1.0999), 2);
        QCOMPARE(gridColumns(1.1), 3);
        QCOMPARE(gridColumns(1.6), 3);
        QCOMPARE(gridColumns(0.5), 3);
        QCOMPARE(referenceHeader(8), QString("Reference Images (Optional) 8/9"));
        QVERIFY(!showsAddMoreButton(0));
        QVERIFY(showsAddMoreButton(1));
        QVERIFY(showsAddMoreButton(8));
        QVERIFY(!showsAddMoreButton(9));
    }

    void resultStateFollowsThePrecedence_data() {
        QTest::addColumn<bool>("image");
        QTest::addColumn<QString>("text"); // "-" for none
        QTest::addColumn<bool>("blocked");
        QTest::addColumn<bool>("loading");
        QTest::addColumn<QString>("error");
        QTest::addColumn<ResultState>("state");
        QTest::addColumn<TextButtonTone>("tone");
        QTest::newRow("image") << true << "-" << false << false << "-" << ResultState::completed
                               << TextButtonTone::none;
        QTest::newRow("image while loading")
            << true << "-" << false << true << "-" << ResultState::completed << TextButtonTone::none;
        QTest::newRow("text only") << false << "hello" << false << false << "-" << ResultState::completed
                                   << TextButtonTone::text;
        QTest::newRow("blocked") << false << "⚠️ Content blocked" << true << false << "-" << ResultState::completed
                                 << TextButtonTone::blocked;
        QTest::newRow("blocked without text")
            << false << "-" << true << false << "oops" << ResultState::completed << TextButtonTone::blocked;
        QTest::newRow("empty text is none")
            << false << "" << false << false << "-" << ResultState::ready << TextButtonTone::none;
        QTest::newRow("loading") << false << "-" << false << true << "old" << ResultState::loading
                                 << TextButtonTone::none;
        QTest::newRow("failed") << false << "" << false << false << "HTTP Error: 500" << ResultState::failed
                                << TextButtonTone::none;
        QTest::newRow("nothing") << false << "-" << false << false << "-" << ResultState::ready << TextButtonTone::none;
    }

    void resultStateFollowsThePrecedence() {
        QFETCH(bool, image);
        QFETCH(QString, text);
        QFETCH(bool, blocked);
        QFETCH(bool, loading);
        QFETCH(QString, error);
        QFETCH(ResultState, state);
        QFETCH(TextButtonTone, tone);
        StubImageService service;
        if (image)
            service.image = testPicture(10, 10);
        if (text != "-")
            service.text = text;
        if (error != "-")
            service.error = error;
        service.blocked = blocked;
        service.loading = loading;
        QCOMPARE(resultState(service), state);
        QCOMPARE(textButtonTone(service), tone);
        QCOMPARE(isTextButtonEnabled(service), tone != TextButtonTone::none);
        QCOMPARE(showsBubble(service, true),
                 tone == TextButtonTone::text || (blocked && text != "-" && !text.isEmpty()));
        QVERIFY(!showsBubble(service, false));
    }

    void resultButtonsFollowThePictureAndTheVideoMode_data() {
        QTest::addColumn<bool>("image");
        QTest::addColumn<VideoGenerationMode>("mode");
        QTest::addColumn<QStringList>("buttons");
        QTest::newRow("no picture") << false << VideoGenerationMode::imageToVideo << QStringList();
        QTest::newRow("no picture, start and end") << false << VideoGenerationMode::startEndVideo << QStringList();
        QTest::newRow("image to video") << true << VideoGenerationMode::imageToVideo
                                        << QStringList{"imageToImage", "imageToVideo", "showInFinder"};
        QTest::newRow("start and end") << true << VideoGenerationMode::startEndVideo
                                       << QStringList{"imageToImage", "startFrame", "endFrame", "showInFinder"};
    }

    void resultButtonsFollowThePictureAndTheVideoMode() {
        QFETCH(bool, image);
        QFETCH(VideoGenerationMode, mode);
        QFETCH(QStringList, buttons);
        QCOMPARE(offered(resultActions(image, mode)), buttons);
    }

    void onlyAQueuedPhotoJobReadsAsGenerating() {
        QCOMPARE(loadingText(true), QString("Generating your image..."));
        QCOMPARE(loadingText(false), QString("Waiting in queue..."));
    }

    void usageAlarmStartsAbove80() {
        QVERIFY(!isUsageAlarming(80.0));
        QVERIFY(isUsageAlarming(80.5));
    }

    // --- the reply ---

    void markdownEmphasisBecomesBoldAndItalicRuns() {
        ReplyDocument document;
        document.setReply("a **strong** and *soft* word");
        QCOMPARE(document.toPlainText(), QString("a strong and soft word"));
        bool bold = false;
        bool italic = false;
        for (auto it = document.begin().begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.text() == "strong")
                bold = fragment.charFormat().fontWeight() >= QFont::Bold;
            if (fragment.text() == "soft")
                italic = fragment.charFormat().fontItalic();
        }
        QVERIFY(bold);
        QVERIFY(italic);
    }

    void theReplyReadsNoHtmlLoadsNothingAndHasNoLinks() {
        ReplyDocument document;
        document.setReply("<b>raw</b> <img src=\"file:///etc/hostname\"> ![x](file:///etc/hostname) "
                          "[site](https://example.com) <https://example.org>");
        // Layout is what would pull a picture in.
        document.setTextWidth(400);
        (void)document.size();
        QVERIFY(document.toPlainText().contains("<b>raw</b>"));
        QVERIFY(!document.toHtml().contains("font-weight:700"));
        QCOMPARE(document.toHtml().contains("href"), false);
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat format = it.fragment().charFormat();
                QVERIFY(!format.isAnchor());
                QVERIFY(format.anchorHref().isEmpty());
                if (format.isImageFormat())
                    QVERIFY(document.resource(QTextDocument::ImageResource, format.toImageFormat().name()).isNull());
            }
        }
    }

    // A broken or hostile service must not hold up the window: what is shown is laid out in well under a second.
    void aLongReplyIsShownQuicklyAndCopiedWhole_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("cut");
        const auto repeated = [](const QString& unit, qsizetype length) {
            QString text;
            while (text.size() < length)
                text += unit;
            return text;
        };
        QTest::newRow("2 MB on one line") << QString(2'000'000, 'a') << true;
        QTest::newRow("one long word among short ones") << "short words " + QString(10'000, 'b') + " and more" << true;
        QTest::newRow("1 MB of words") << repeated("word ", 1'000'000) << true;
        QTest::newRow("60 K of marks to match") << repeated("`a *b ", 60'000) << false;
        QTest::newRow("60 K of list items") << repeated("- a\n", 60'000) << false;
    }

    void aLongReplyIsShownQuicklyAndCopiedWhole() {
        QFETCH(QString, text);
        QFETCH(bool, cut);
        ReplyDocument document;
        QElapsedTimer timer;
        timer.start();
        document.setReply(text);
        document.setTextWidth(220);
        QVERIFY(document.size().height() > 0);
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QStringLiteral("%1 ms").arg(timer.elapsed())));
        const QString shown = document.toPlainText();
        if (!cut) {
            QCOMPARE(document.cutPosition(), -1);
            QCOMPARE(shown, text);
            return;
        }
        QVERIFY(shown.size() <= ReplyDocument::maxShownCharacters + 1);
        QVERIFY(shown.endsWith(QStringLiteral("…")));
        QVERIFY(text.startsWith(shown.chopped(1)));
        QCOMPARE(document.cutPosition(), shown.size() - 1);
        QCOMPARE(document.textFrom(0), text);
        QCOMPARE(document.textFrom(6), text.mid(6));
    }
};

QTEST_MAIN(StudioRulesTest)
#include "tst_studio_rules.moc"
