#include "ReplyView.h"

#include "ReplyDocument.h"

#include <QMimeData>

QMimeData* ReplyView::createMimeDataFromSelection() const {
    const auto* reply = qobject_cast<const ReplyDocument*>(document());
    const QTextCursor selection = textCursor();
    if (!reply || reply->cutPosition() < 0 || selection.selectionEnd() <= reply->cutPosition())
        return QTextEdit::createMimeDataFromSelection();
    auto* data = new QMimeData;
    data->setText(reply->textFrom(selection.selectionStart()));
    return data;
}
