#include "ReplyDocument.h"

#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocumentFragment>

#include <algorithm>

namespace {

// How much of `text` is shown: at most maxShownCharacters, and no run longer than maxUnbrokenCharacters
// between two places where a line may break. A cut never splits a surrogate pair.
qsizetype shownLength(const QString& text) {
    const qsizetype limit = std::min(text.size(), ReplyDocument::maxShownCharacters);
    qsizetype end = limit;
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, text.constData(), limit);
    for (qsizetype from = 0, to = breaks.toNextBoundary(); to >= 0; from = to, to = breaks.toNextBoundary()) {
        if (to - from > ReplyDocument::maxUnbrokenCharacters) {
            end = from + ReplyDocument::maxUnbrokenCharacters;
            break;
        }
    }
    if (end < text.size() && end > 0 && text.at(end - 1).isHighSurrogate())
        --end;
    return end;
}

bool fewMarks(QStringView text) {
    qsizetype marks = 0;
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '*':
        case '_':
        case '`':
        case '~':
        case '[':
        case ']':
        case '!':
        case '<':
        case '&':
        case '\\':
        case '|':
        case '\n':
            if (++marks > ReplyDocument::maxMarkupCharacters)
                return false;
            break;
        default:
            break;
        }
    }
    return true;
}

} // namespace

ReplyDocument::ReplyDocument(QObject* parent) : QTextDocument(parent) {
    setUndoRedoEnabled(false);
}

void ReplyDocument::setReply(const QString& text) {
    const qsizetype shown = shownLength(text);
    const QString head = shown < text.size() ? text.left(shown) : text;
    hidden_ = text.mid(shown);
    cutPosition_ = -1;
    if (fewMarks(head))
        showMarkdown(head);
    else
        setPlainText(head);
    if (hidden_.isEmpty())
        return;
    QTextCursor cursor(this);
    cursor.movePosition(QTextCursor::End);
    cutPosition_ = cursor.position();
    cursor.insertText(QStringLiteral("…"));
}

QString ReplyDocument::textFrom(int position) const {
    if (cutPosition_ < 0)
        return {};
    QTextCursor cursor(const_cast<ReplyDocument*>(this));
    cursor.setPosition(std::clamp(position, 0, cutPosition_));
    cursor.setPosition(cutPosition_, QTextCursor::KeepAnchor);
    return cursor.selection().toPlainText() + hidden_;
}

void ReplyDocument::showMarkdown(const QString& text) {
    setMarkdown(text,
                QTextDocument::MarkdownFeatures(QTextDocument::MarkdownDialectGitHub | QTextDocument::MarkdownNoHTML));
    // Links become plain runs: there is nothing to click or open.
    QList<QPair<int, int>> anchors;
    for (QTextBlock block = begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid() &&
                (fragment.charFormat().isAnchor() || !fragment.charFormat().anchorHref().isEmpty()))
                anchors.append({fragment.position(), fragment.length()});
        }
    }
    for (const auto& [position, length] : anchors) {
        QTextCursor cursor(this);
        cursor.setPosition(position);
        cursor.setPosition(position + length, QTextCursor::KeepAnchor);
        QTextCharFormat format = cursor.charFormat();
        format.setAnchor(false);
        format.setAnchorHref(QString());
        format.setAnchorNames({});
        cursor.setCharFormat(format);
    }
}

QVariant ReplyDocument::loadResource(int, const QUrl&) {
    return {};
}
