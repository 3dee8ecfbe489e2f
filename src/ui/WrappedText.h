#pragma once

#include <QLabel>

#include <algorithm>
#include <limits>

class QFontMetrics;

// A word-wrapped text that asks its layout for the height its lines need at the width it gets. It wants to be as
// wide as its text on one line (never wider than its maximum width), and gives way down to its longest word, taking
// more lines as it narrows. Narrower still, a word that no longer fits a line ends in "…" rather than being cut.
class WrappedText final : public QLabel {
public:
    WrappedText(const QString& text, Qt::Alignment alignment, QWidget* parent);
    // As wide as its lines are when wrapped at the maximum width.
    QSize sizeHint() const override;
    // One line of the first letter and "…".
    QSize minimumSizeHint() const override;
    int heightForWidth(int width) const override;
    // The lines as they are drawn at `width` (of the text itself, without margins).
    QString shownText(int width) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int textWidth(int width) const;
};

// What becomes of a word wider than a line: it ends in "…", or it is broken where the line ends.
enum class LongWords { elided, broken };

// `text` broken at its spaces and line breaks into lines no wider than `width`. At most `maxLines`: the last one then
// takes the rest of the text, cut at the tail with "…".
QStringList fitLines(const QString& text, const QFontMetrics& metrics, int width,
                     int maxLines = std::numeric_limits<int>::max(), LongWords longWords = LongWords::elided);
