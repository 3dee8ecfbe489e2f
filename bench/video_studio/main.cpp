// The video studio's two costs on the GUI thread, measured in one run:
// 1. a keystroke in the prompt editor holding 2000 characters full of tags, against the same keystroke
//    in the same kind of editor without tag styling (ratio, and absolute against one 60 Hz frame);
// 2. dropping a 24-megapixel photograph into the first frame slot: the longest stall of the GUI thread
//    from the drop until the tile shows it.

#include "../BenchSupport.h"
#include "FrameStallProbe.h"
#include "SyntaxHighlightedTextEditor.h"
#include "TagHighlighter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int keystrokes = 400;
constexpr double frameMs = 1000.0 / 60.0;

QString taggedPrompt() {
    const QStringList tags{"[Pan left]", "[Zoom in]", "[Tilt up]", "[Truck right]", "[Static shot]"};
    QString text;
    for (int i = 0; text.size() < 2000; ++i)
        text += tags[i % tags.size()] + QStringLiteral(" walk ");
    return text.left(2000);
}

// Median milliseconds of one keystroke (a letter typed mid-text, then erased), each followed by a
// synchronous repaint so that layout and drawing are counted, as the user would see them.
double keystrokeMs(QPlainTextEdit* editor) {
    QTextCursor cursor = editor->textCursor();
    cursor.setPosition(int(editor->toPlainText().size() / 2));
    editor->setTextCursor(cursor);
    std::vector<double> samples;
    QElapsedTimer timer;
    for (int i = 0; i < keystrokes; ++i) {
        timer.start();
        QTest::keyClick(editor, (i % 2) ? Qt::Key_Backspace : Qt::Key_X);
        editor->viewport()->repaint();
        samples.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::nth_element(samples.begin(), samples.begin() + long(samples.size() / 2), samples.end());
    return samples[samples.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString text = taggedPrompt();

    QWidget window;
    auto* plain = new QPlainTextEdit(&window);
    auto* tagged = new SyntaxHighlightedTextEditor(&window);
    for (QPlainTextEdit* editor : {plain, static_cast<QPlainTextEdit*>(tagged)}) {
        editor->setGeometry(0, 0, 360, 400);
        QFont font = editor->font();
        font.setPointSizeF(14);
        editor->setFont(font);
        editor->setPlainText(text);
    }
    tagged->move(0, 400);
    window.resize(360, 800);
    window.show();
    QApplication::processEvents();

    // Warm both up, then alternate the measurements so that drift hits both alike.
    keystrokeMs(plain);
    keystrokeMs(tagged);
    double plainMs = 0;
    double taggedMs = 0;
    for (int round = 0; round < 3; ++round) {
        plainMs += keystrokeMs(plain) / 3;
        taggedMs += keystrokeMs(tagged) / 3;
    }
    std::printf("keystroke, 2000 characters, %d tags: without styling %.3f ms, with tag styling %.3f ms\n",
                int(TagHighlighter::findTags(text).size()), plainMs, taggedMs);
    BenchSupport::Verdict verdict("video_studio");
    verdict.atMostTimes("keystroke with tag styling against the plain editor", taggedMs, plainMs, 3.0);
    verdict.atMost("keystroke with tag styling, within one 60 Hz frame", taggedMs, frameMs, "ms");

    const double stallMs = longestStallDroppingLargeFrame();
    verdict.atMost("dropping a 6000 x 4000 frame, longest GUI-thread stall", stallMs, 50.0, "ms");
    return verdict.exitCode();
}
