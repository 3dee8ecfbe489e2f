#pragma once

#include <QTextDocument>

// The model's text reply, shown as Markdown. The text comes from the network, so the document reads no
// HTML, loads no resource (images, style sheets) and its links stay inert text runs.
class ReplyDocument : public QTextDocument {
    Q_OBJECT
public:
    explicit ReplyDocument(QObject* parent = nullptr);

    void setReply(const QString& text);

protected:
    QVariant loadResource(int type, const QUrl& name) override;
};
