#include "HeadingRow.h"

#include <QLabel>

#include <algorithm>

HeadingRow::HeadingRow(QLayout* leading, QLabel* title, QLayout* trailing) : title_(title) {
    addChildLayout(leading);
    addChildLayout(trailing);
    items_ = {leading, trailing};
}

HeadingRow::~HeadingRow() {
    qDeleteAll(items_);
}

QSize HeadingRow::sizeHint() const {
    const QSize lead = leading()->sizeHint();
    const QSize trail = trailing()->sizeHint();
    return {lead.width() + spacing() + trail.width(), std::max(lead.height(), trail.height())};
}

QSize HeadingRow::minimumSize() const {
    const QSize lead = leading()->minimumSize();
    const QSize trail = trailing()->minimumSize();
    return {std::max(lead.width(), trail.width()), std::max(lead.height(), trail.height())};
}

int HeadingRow::heightForWidth(int width) const {
    const int trail = trailing()->sizeHint().height();
    if (oneLine(width))
        return std::max(leadHeight(width - trailing()->sizeHint().width() - spacing()), trail);
    return leadHeight(width) + lineGap + trail;
}

void HeadingRow::setGeometry(const QRect& area) {
    QLayout::setGeometry(area);
    const QSize trail = trailing()->sizeHint();
    if (oneLine(area.width())) {
        const int leadWidth = area.width() - trail.width() - spacing();
        leading()->setGeometry(QRect(area.left(), area.top(), leadWidth, area.height()));
        trailing()->setGeometry(QRect(area.right() + 1 - trail.width(), area.top(), trail.width(), area.height()));
    } else {
        const int leadHeightNow = leadHeight(area.width());
        leading()->setGeometry(QRect(area.left(), area.top(), area.width(), leadHeightNow));
        const int width = std::min(trail.width(), area.width());
        trailing()->setGeometry(
            QRect(area.right() + 1 - width, area.top() + leadHeightNow + lineGap, width, trail.height()));
    }
}

bool HeadingRow::oneLine(int width) const {
    int longestWord = 0;
    for (const QString& word : title_->text().split(QLatin1Char(' '), Qt::SkipEmptyParts))
        longestWord = std::max(longestWord, title_->fontMetrics().horizontalAdvance(word));
    const int leadNeeds = leading()->sizeHint().width() - title_->sizeHint().width() + longestWord;
    return leadNeeds + spacing() + trailing()->sizeHint().width() <= width;
}

int HeadingRow::leadHeight(int width) const {
    return leading()->hasHeightForWidth() ? leading()->heightForWidth(width) : leading()->sizeHint().height();
}
