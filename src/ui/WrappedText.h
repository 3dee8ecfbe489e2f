#pragma once

#include <QLabel>

#include <algorithm>

// A word-wrapped text that asks its layout for the height its lines need at the width it gets. It wants to be as
// wide as its text on one line (never wider than its maximum width), and gives way down to its longest word, taking
// more lines as it narrows.
class WrappedText final : public QLabel {
public:
    WrappedText(const QString& text, Qt::Alignment alignment, QWidget* parent);
    // As wide as its lines are when wrapped at the maximum width.
    QSize sizeHint() const override;
    int heightForWidth(int width) const override { return QLabel::heightForWidth(std::min(width, maximumWidth())); }
};
