#include "PromptLimit.h"
#include "SyntaxHighlightedTextEditor.h"
#include "TagHighlighter.h"
#include "Theme.h"

#include <QApplication>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QVBoxLayout>

namespace {

// The tag-styled spans of the document, as (position, length) over the whole text.
QList<QPair<int, int>> styledSpans(const SyntaxHighlightedTextEditor& editor) {
    QList<QPair<int, int>> spans;
    for (QTextBlock block = editor.document()->begin(); block.isValid(); block = block.next()) {
        for (const QTextLayout::FormatRange& range : block.layout()->formats()) {
            if (range.format.fontWeight() == QFont::DemiBold &&
                range.format.foreground().color() == QColor(0, 0x7A, 0xFF))
                spans.append({block.position() + range.start, range.length});
        }
    }
    return spans;
}

using Spans = QList<QPair<int, int>>;

} // namespace

class PromptEditorTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> window;
    SyntaxHighlightedTextEditor* editor = nullptr;
    QLineEdit* elsewhere = nullptr;

    void focusEditor() {
        editor->setFocus();
        QTRY_VERIFY(editor->hasFocus());
    }

private slots:
    void init() {
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        editor = new SyntaxHighlightedTextEditor(window.get());
        elsewhere = new QLineEdit(window.get());
        layout->addWidget(editor);
        layout->addWidget(elsewhere);
        window->resize(400, 300);
        window->show();
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        focusEditor();
    }
    void cleanup() { window.reset(); }

    void tagsAreStyledOnTheKeystroke() {
        QTest::keyClicks(editor, "go [Pan left");
        QCOMPARE(styledSpans(*editor), Spans());
        QTest::keyClicks(editor, "]");
        QCOMPARE(styledSpans(*editor), Spans({{3, 10}}));
    }

    void tagsFollowTheColourScheme() {
        editor->insertPlainText("[Pan left]");
        Theme::instance().setColorScheme(ColorScheme::dark);
        const QColor dark = editor->highlighter()->tagFormat().foreground().color();
        Theme::instance().setColorScheme(std::nullopt);
        QCOMPARE(dark, Theme::color(ColorRole::blue, ColorScheme::dark));
        QCOMPARE(editor->highlighter()->tagFormat().foreground().color(), Theme::instance().color(ColorRole::blue));
    }

    void tagNeighbours_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Spans>("spans");
        QTest::newRow("nested opening") << "a [b [c] d] e" << Spans({{2, 6}});
        QTest::newRow("empty tag") << "[] x" << Spans({{0, 2}});
        QTest::newRow("two tags") << "[Pan left] then [Zoom in]" << Spans({{0, 10}, {16, 9}});
        QTest::newRow("unclosed") << "[Pan left" << Spans();
        QTest::newRow("across a line break") << "x [Pan\nleft] y" << Spans({{2, 4}, {7, 5}});
        // "👍🏽" and "é" take several UTF-16 units each; the tag still lands on its own characters.
        QTest::newRow("emoji before") << "👍🏽e\u0301 [Tilt up]" << Spans({{7, 9}});
    }
    void tagNeighbours() {
        QFETCH(QString, text);
        editor->insertPlainText(text);
        QTEST(styledSpans(*editor), "spans");
    }

    // The scan finds exactly what the tag pattern matches.
    void tagsAreThePatternsMatches() {
        const QRegularExpression pattern("\\[[^\\]]*\\]");
        QRandomGenerator random(7);
        const QString alphabet = "[]a \n";
        for (int round = 0; round < 500; ++round) {
            QString text;
            for (int i = 0, n = int(random.bounded(24)); i < n; ++i)
                text += alphabet[int(random.bounded(int(alphabet.size())))];
            QList<TagHighlighter::Range> expected;
            for (auto it = pattern.globalMatch(text); it.hasNext();) {
                const auto match = it.next();
                expected.append({int(match.capturedStart()), int(match.capturedLength())});
            }
            QCOMPARE(TagHighlighter::findTags(text), expected);
        }
    }

    // Closing a tag on a later line restyles the line where it opened.
    void closingOnALaterLineRestylesTheFirst() {
        QTest::keyClicks(editor, "a [Pan");
        QTest::keyClick(editor, Qt::Key_Return); // no action given: a new paragraph
        QCOMPARE(editor->document()->blockCount(), 2);
        QTest::keyClicks(editor, "left");
        QCOMPARE(styledSpans(*editor), Spans());
        QTest::keyClicks(editor, "]");
        QCOMPARE(styledSpans(*editor), Spans({{2, 4}, {7, 5}}));
        // Removing the "]" removes the style from both lines again.
        QTest::keyClick(editor, Qt::Key_Backspace);
        QCOMPARE(styledSpans(*editor), Spans());
    }

    void theOwnerHearsOncePerBurst() {
        QSignalSpy committed(editor, &SyntaxHighlightedTextEditor::textCommitted);
        QTest::keyClicks(editor, "ab");
        QVERIFY(editor->debounceTimer().isActive());
        QCOMPARE(editor->debounceTimer().interval(), 300);
        QCOMPARE(committed.count(), 0);
        QTest::keyClicks(editor, "c");
        QTRY_COMPARE_WITH_TIMEOUT(committed.count(), 1, 2000);
        QCOMPARE(committed.first().first().toString(), "abc");
        QTest::qWait(50);
        QCOMPARE(committed.count(), 1);
    }

    void flushWritesAtOnce() {
        QSignalSpy committed(editor, &SyntaxHighlightedTextEditor::textCommitted);
        QTest::keyClicks(editor, "last words");
        editor->flush();
        QCOMPARE(committed.count(), 1);
        QCOMPARE(committed.first().first().toString(), "last words");
        QVERIFY(!editor->debounceTimer().isActive());
        // Nothing pending: a second flush writes nothing.
        editor->flush();
        QCOMPARE(committed.count(), 1);
    }

    void aNoBreakSpaceReachesTheOwnerAsTyped() {
        QSignalSpy committed(editor, &SyntaxHighlightedTextEditor::textCommitted);
        QTest::keyClicks(editor, QStringLiteral("10\u00A0km"));
        QTest::keyClick(editor, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(editor, "on");
        editor->flush();
        QCOMPARE(committed.last().first().toString(), QStringLiteral("10\u00A0km\non"));
    }

    void returnRunsTheActionWithTheTextWritten() {
        QSignalSpy committed(editor, &SyntaxHighlightedTextEditor::textCommitted);
        int runs = 0;
        QString seenByAction;
        editor->setOnEnter([&] {
            ++runs;
            seenByAction = committed.isEmpty() ? QString() : committed.last().first().toString();
        });
        QTest::keyClicks(editor, "go");
        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(editor->toPlainText(), "go");
        QCOMPARE(committed.count(), 1);
        QCOMPARE(runs, 0); // queued after the key event
        QTRY_COMPARE(runs, 1);
        QCOMPARE(seenByAction, "go");
        QVERIFY(!editor->debounceTimer().isActive());

        QTest::keyClick(editor, Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(editor->toPlainText(), "go\n");
        QTest::qWait(10);
        QCOMPARE(runs, 1);
    }

    void returnWithoutAnActionBreaksTheLine() {
        QTest::keyClicks(editor, "a");
        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(editor->toPlainText(), "a\n");
        QVERIFY(editor->debounceTimer().isActive());
    }

    void tabMovesOnInsteadOfTyping() {
        QTest::keyClicks(editor, "sea");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTRY_VERIFY(elsewhere->hasFocus());
        QCOMPARE(editor->toPlainText(), "sea");
        QTest::keyClick(elsewhere, Qt::Key_Backtab, Qt::ShiftModifier);
        QTRY_VERIFY(editor->hasFocus());
        QCOMPARE(editor->toPlainText(), "sea");
    }

    void longTextsAreCutForTheOwner() {
        QSignalSpy committed(editor, &SyntaxHighlightedTextEditor::textCommitted);
        const QString pasted = QString(1999, QChar('x')) + "👍🏽" + QString(500, QChar('y'));
        editor->insertPlainText(pasted);
        QCOMPARE(editor->toPlainText(), pasted); // shown whole while it has the focus
        QTRY_COMPARE_WITH_TIMEOUT(committed.count(), 1, 2000);
        const QString cut = committed.first().first().toString();
        QCOMPARE(cut, QString(1999, QChar('x')) + "👍🏽");
        QCOMPARE(PromptLimit::characterCount(cut), 2000);
        // Leaving the editor writes again and shows what the owner holds.
        elsewhere->setFocus();
        QTRY_VERIFY(!editor->hasFocus());
        QCOMPARE(committed.count(), 2);
        QCOMPARE(committed.last().first().toString(), cut);
        QCOMPARE(editor->toPlainText(), cut);
        QCOMPARE(editor->textCursor().position(), int(cut.size()));
    }

    void theOwnersTextWaitsWhileTheUserTypes() {
        QTest::keyClicks(editor, "mine");
        editor->updateFromOwner("theirs");
        QCOMPARE(editor->toPlainText(), "mine");
        elsewhere->setFocus();
        QTRY_VERIFY(!editor->hasFocus());
        editor->updateFromOwner("theirs [Pan left]");
        QCOMPARE(editor->toPlainText(), "theirs [Pan left]");
        QCOMPARE(editor->textCursor().position(), 17);
        QCOMPARE(styledSpans(*editor), Spans({{7, 10}}));
        // The same text changes nothing, not even the caret.
        QTextCursor cursor = editor->textCursor();
        cursor.setPosition(2);
        editor->setTextCursor(cursor);
        editor->updateFromOwner("theirs [Pan left]");
        QCOMPARE(editor->textCursor().position(), 2);
        QVERIFY(!editor->debounceTimer().isActive());
    }

    void aResetDropsThePendingWrite() {
        QSignalSpy committed(editor, &SyntaxHighlightedTextEditor::textCommitted);
        QTest::keyClicks(editor, "old text");
        editor->reset("recreated");
        QCOMPARE(editor->toPlainText(), "recreated");
        QVERIFY(!editor->debounceTimer().isActive());
        QTest::qWait(350);
        QCOMPARE(committed.count(), 0);
    }

    void theDebounceDiesWithTheEditor() {
        int writes = 0;
        connect(editor, &SyntaxHighlightedTextEditor::textCommitted, this, [&] { ++writes; });
        QTest::keyClicks(editor, "abc");
        QVERIFY(editor->debounceTimer().isActive());
        window.reset(); // hiding the window ends the editing, which may write once
        const int atClose = writes;
        QVERIFY(atClose <= 1);
        QTest::qWait(350);
        QCOMPARE(writes, atClose);
    }
};

QTEST_MAIN(PromptEditorTest)
#include "tst_prompt_editor.moc"
