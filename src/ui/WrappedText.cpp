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
    return wrapToWidth(text(), fontMetrics(), width);
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

QString wrapToWidth(const QString& text, const QFontMetrics& metrics, int width) {
    QStringList lines;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        QString line;
        for (QString word : paragraph.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (metrics.horizontalAdvance(word) > width)
                word = metrics.elidedText(word, Qt::ElideRight, width);
            const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
            if (line.isEmpty() || metrics.horizontalAdvance(longer) <= width) {
                line = longer;
            } else {
                lines << line;
                line = word;
            }
        }
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}
