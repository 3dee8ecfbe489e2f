#include "Graphemes.h"

#include <QTextBoundaryFinder>

namespace Graphemes {

qsizetype count(const QString& text) {
    if (text.isEmpty())
        return 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype clusters = 0;
    while (finder.toNextBoundary() != -1)
        ++clusters;
    return clusters;
}

QString truncated(const QString& text, qsizetype limit) {
    // A cluster is at least one UTF-16 unit: a short text needs no walk.
    if (text.size() <= limit)
        return text;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype clusters = 0;
    qsizetype end = 0;
    while (clusters < limit) {
        const qsizetype next = finder.toNextBoundary();
        if (next == -1)
            return text;
        end = next;
        ++clusters;
    }
    return end >= text.size() ? text : text.left(end);
}

} // namespace Graphemes
