#pragma once

#include <QTextDocument>

// The model's text reply, shown as Markdown. The text comes from the network, so the document reads no
// HTML, loads no resource (images, style sheets) and its links stay inert text runs.
//
// A broken or hostile service can send megabytes on one line, or thousands of marks to match, which would take
// minutes to lay out or parse on the GUI thread. Only the start of such a reply is shown, ended with "…"; a copy
// that reaches the "…" takes the rest of the reply as received.
class ReplyDocument : public QTextDocument {
    Q_OBJECT
public:
    // The service asks for at most 8192 tokens: a few tens of thousands of characters.
    static constexpr qsizetype maxShownCharacters = 65536;
    // The time to lay out a run with no place to break a line grows with the square of its length.
    static constexpr qsizetype maxUnbrokenCharacters = 8192;
    // The Markdown parser slows down the same way with the marks it has to match: past this many, the reply is
    // shown as plain text.
    static constexpr qsizetype maxMarkupCharacters = 1024;

    explicit ReplyDocument(QObject* parent = nullptr);

    void setReply(const QString& text);

    // The position of the "…" that ends a cut reply; -1 when the whole reply is shown.
    int cutPosition() const { return cutPosition_; }
    // The text a copy of the shown text from `position` to the "…" gives: that text, then the part not shown.
    QString textFrom(int position) const;

protected:
    QVariant loadResource(int type, const QUrl& name) override;

private:
    void showMarkdown(const QString& text);

    int cutPosition_ = -1;
    QString hidden_;
};
