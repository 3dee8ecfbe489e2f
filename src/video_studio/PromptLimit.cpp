#include "PromptLimit.h"

#include <QTextBoundaryFinder>

namespace PromptLimit {

namespace {
// Position after the `limit`-th grapheme, or -1 when the text has no more than `limit` of them.
// Stops counting as soon as the answer is known, so a long text is not walked to the end twice.
qsizetype cutPosition(const QString& text, int limit, int* count) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int n = 0;
    qsizetype position = 0;
    while ((position = finder.toNextBoundary()) != -1) {
        ++n;
        if (limit >= 0 && n == limit) {
            if (position < text.size()) {
                *count = n;
                return position;
            }
        }
    }
    *count = n;
    return -1;
}
} // namespace

int characterCount(const QString& text) {
    if (text.isEmpty())
        return 0;
    int count = 0;
    cutPosition(text, -1, &count);
    return count;
}

QString truncated(const QString& text, int limit) {
    // Fewer UTF-16 units than the limit means fewer graphemes too.
    if (text.size() <= limit)
        return text;
    if (limit <= 0)
        return QString();
    int count = 0;
    const qsizetype position = cutPosition(text, limit, &count);
    return position < 0 ? text : text.left(position);
}

} // namespace PromptLimit
