#include "ReplyDocument.h"

#include <QTextBlock>
#include <QTextCursor>

ReplyDocument::ReplyDocument(QObject* parent) : QTextDocument(parent) {
    setUndoRedoEnabled(false);
}

void ReplyDocument::setReply(const QString& text) {
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
