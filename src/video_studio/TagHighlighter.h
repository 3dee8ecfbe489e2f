#pragma once

#include <QColor>
#include <QList>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

// Camera and motion tags in square brackets ("[Pan left]") drawn in the tag style. A tag runs from a
// "[" to the first "]" after it, across line breaks too; an unclosed "[" styles nothing. The tags are
// found over the whole text on every change, and only the blocks whose tags changed are restyled.
class TagHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
public:
    struct Range {
        int start = 0;
        int length = 0;
        friend bool operator==(const Range&, const Range&) = default;
    };

    explicit TagHighlighter(QTextDocument* document);

    void setTagColor(const QColor& color);
    QTextCharFormat tagFormat() const { return tagFormat_; }

    // The tags of a plain text (document positions: a line break counts one).
    static QList<Range> findTags(const QString& text);

protected:
    void highlightBlock(const QString& text) override;

private:
    void beforeReformat(int position, int removed, int added);
    void afterReformat();

    QTextCharFormat tagFormat_;
    QList<Range> tags_;
    QList<int> staleBlocks_;
};
