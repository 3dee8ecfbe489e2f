#pragma once

#include <QTextEdit>

// The text reply in its bubble. When only the start of a long reply is shown, a copy whose selection reaches the
// closing "…" takes the rest of the reply too, so the whole reply can be copied.
class ReplyView : public QTextEdit {
    Q_OBJECT
public:
    using QTextEdit::QTextEdit;

protected:
    QMimeData* createMimeDataFromSelection() const override;
};
