#include "TagHighlighter.h"

#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

TagHighlighter::TagHighlighter(QTextDocument* document) : QSyntaxHighlighter(static_cast<QObject*>(nullptr)) {
    tagFormat_.setFontWeight(QFont::DemiBold);
    tagFormat_.setForeground(QColor(0x00, 0x7A, 0xFF));
    // Ours must see a change before the highlighter restyles the edited blocks, and again after it.
    connect(document, &QTextDocument::contentsChange, this, &TagHighlighter::beforeReformat);
    setDocument(document);
    connect(document, &QTextDocument::contentsChange, this, &TagHighlighter::afterReformat);
    tags_ = findTags(document->toPlainText());
}

void TagHighlighter::setTagColor(const QColor& color) {
    if (tagFormat_.foreground().color() == color)
        return;
    tagFormat_.setForeground(color);
    rehighlight();
}

QList<TagHighlighter::Range> TagHighlighter::findTags(const QString& text) {
    // The matches of "\[[^\]]*\]": each "[" up to the first "]" after it. A plain scan finds the same
    // leftmost, non-overlapping matches without a regular-expression engine on every keystroke.
    QList<Range> result;
    qsizetype from = 0;
    while (true) {
        const qsizetype open = text.indexOf(QLatin1Char('['), from);
        if (open < 0)
            break;
        const qsizetype close = text.indexOf(QLatin1Char(']'), open + 1);
        if (close < 0)
            break; // no "]" after this "[", so none after any later "[" either
        result.append({int(open), int(close - open + 1)});
        from = close + 1;
    }
    return result;
}

void TagHighlighter::highlightBlock(const QString& text) {
    const int blockStart = currentBlock().position();
    const int blockEnd = blockStart + int(text.size());
    auto it = std::lower_bound(tags_.cbegin(), tags_.cend(), blockStart,
                               [](const Range& r, int position) { return r.start + r.length <= position; });
    for (; it != tags_.cend() && it->start < blockEnd; ++it) {
        const int from = std::max(it->start, blockStart);
        const int to = std::min(it->start + it->length, blockEnd);
        if (to > from)
            setFormat(from - blockStart, to - from, tagFormat_);
    }
}

void TagHighlighter::beforeReformat(int position, int removed, int added) {
    if (removed == 0 && added == 0)
        return;
    QTextDocument* doc = document();
    const QList<Range> fresh = findTags(doc->toPlainText());
    // Where the old tags sit after the edit; one that overlapped the edit is stale as a whole.
    const int delta = added - removed;
    QList<Range> moved;
    moved.reserve(tags_.size());
    for (const Range& r : tags_) {
        const int end = r.start + r.length;
        if (end <= position)
            moved.append(r);
        else if (r.start >= position + removed)
            moved.append({r.start + delta, r.length});
        else
            moved.append(
                {std::min(r.start, position), std::max(end + delta, position + added) - std::min(r.start, position)});
    }
    staleBlocks_.clear();
    const auto markStale = [&](const QList<Range>& from, const QList<Range>& other) {
        for (const Range& r : from) {
            const auto hit = std::lower_bound(other.cbegin(), other.cend(), r.start,
                                              [](const Range& a, int start) { return a.start < start; });
            if (hit != other.cend() && *hit == r)
                continue;
            QTextBlock block = doc->findBlock(r.start);
            const QTextBlock last = doc->findBlock(std::max(r.start, r.start + r.length - 1));
            while (block.isValid()) {
                staleBlocks_.append(block.blockNumber());
                if (block == last)
                    break;
                block = block.next();
            }
        }
    };
    markStale(moved, fresh);
    markStale(fresh, moved);
    tags_ = fresh;
}

void TagHighlighter::afterReformat() {
    if (staleBlocks_.isEmpty())
        return;
    QList<int> blocks = staleBlocks_;
    staleBlocks_.clear();
    std::sort(blocks.begin(), blocks.end());
    blocks.erase(std::unique(blocks.begin(), blocks.end()), blocks.end());
    for (int number : blocks) {
        const QTextBlock block = document()->findBlockByNumber(number);
        if (block.isValid())
            rehighlightBlock(block);
    }
}
