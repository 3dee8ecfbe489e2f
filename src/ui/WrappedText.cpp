#include "WrappedText.h"

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
