#include "WrappedText.h"

#include <QPainter>
#include <QStyle>

WrappedText::WrappedText(const QString& text, Qt::Alignment alignment, QWidget* parent) : QLabel(text, parent) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setWordWrap(true);
    setAlignment(alignment);
}

QSize WrappedText::sizeHint() const {
    const QMargins margins = contentsMargins();
    const int extra = margins.left() + margins.right() + 2 * margin();
    const int limit = std::max(1, std::min(maximumWidth(), 1 << 20) - extra);
    const QRect lines =
        fontMetrics().boundingRect(QRect(0, 0, limit, 1 << 20), int(Qt::TextWordWrap | alignment()), text());
    const int width = lines.width() + extra;
    return {width, heightForWidth(width)};
}

QSize WrappedText::minimumSizeHint() const {
    const QMargins margins = contentsMargins();
    const int extraWidth = margins.left() + margins.right() + 2 * margin();
    const int extraHeight = margins.top() + margins.bottom() + 2 * margin();
    const QString start = text().isEmpty() ? QString() : text().left(1) + QChar(0x2026);
    const QFontMetrics metrics = fontMetrics();
    return {metrics.horizontalAdvance(start) + extraWidth, metrics.height() + extraHeight};
}

int WrappedText::textWidth(int width) const {
    const QMargins margins = contentsMargins();
    return std::max(1, std::min(width, maximumWidth()) - margins.left() - margins.right() - 2 * margin());
}

QString WrappedText::shownText(int width) const {
    return fitLines(text(), fontMetrics(), width).join(QLatin1Char('\n'));
}

int WrappedText::heightForWidth(int width) const {
    const QMargins margins = contentsMargins();
    const int inner = textWidth(width);
    const QRect lines = fontMetrics().boundingRect(QRect(0, 0, inner, 1 << 20), int(alignment()), shownText(inner));
    return lines.height() + margins.top() + margins.bottom() + 2 * margin();
}

void WrappedText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(), shownText(area.width()),
                          foregroundRole());
}

QStringList fitLines(const QString& text, const QFontMetrics& metrics, int width, int maxLines, LongWords longWords) {
    QStringList lines;
    if (text.isEmpty() || maxLines <= 0)
        return lines;
    QList<qsizetype> starts; // where each line starts in `text`
    const auto add = [&](const QString& line, qsizetype start) {
        lines << line;
        starts << start;
    };
    qsizetype paragraphStart = 0;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        QString line;
        qsizetype lineStart = paragraphStart;
        for (qsizetype end = 0, start = 0; start < paragraph.size(); start = end) {
            while (start < paragraph.size() && paragraph.at(start) == QLatin1Char(' '))
                ++start;
            end = paragraph.indexOf(QLatin1Char(' '), start);
            if (end < 0)
                end = paragraph.size();
            if (start == end)
                break;
            QString word = paragraph.mid(start, end - start);
            qsizetype wordStart = paragraphStart + start;
            if (metrics.horizontalAdvance(word) > width) {
                if (longWords == LongWords::elided) {
                    word = metrics.elidedText(word, Qt::ElideRight, width);
                } else {
                    if (!line.isEmpty())
                        add(std::exchange(line, QString()), lineStart);
                    // As much of the word as a line holds (a letter at least), then the next line.
                    while (word.size() > 1 && metrics.horizontalAdvance(word) > width) {
                        // word.left(fits) fits or is one letter; word.left(tooMany) does not fit.
                        qsizetype fits = 1;
                        qsizetype tooMany = word.size();
                        while (tooMany - fits > 1) {
                            const qsizetype middle = (fits + tooMany) / 2;
                            (metrics.horizontalAdvance(word.left(middle)) <= width ? fits : tooMany) = middle;
                        }
                        add(word.left(fits), wordStart);
                        word.remove(0, fits);
                        wordStart += fits;
                    }
                }
            }
            const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
            if (line.isEmpty() || metrics.horizontalAdvance(longer) <= width) {
                if (line.isEmpty())
                    lineStart = wordStart;
                line = longer;
            } else {
                add(line, lineStart);
                line = word;
                lineStart = wordStart;
            }
        }
        add(line, lineStart);
        paragraphStart += paragraph.size() + 1;
    }
    if (lines.size() > maxLines) {
        lines.resize(maxLines - 1);
        const QString rest = text.mid(starts[maxLines - 1]).replace(QLatin1Char('\n'), QLatin1Char(' '));
        lines << metrics.elidedText(rest, Qt::ElideRight, width);
    }
    return lines;
}
