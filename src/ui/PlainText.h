#pragma once

#include <QString>

class QTextDocument;

// Names, prompts and service texts in a tooltip, shown as they are. Qt reads a tooltip as markup whenever it
// looks like markup ("<b>x</b>" would come out bold, "<img src=…>" would load a picture), so the text is
// escaped and set in a paragraph that keeps its spaces and line breaks. Labels take Qt::PlainText instead.
QString plainToolTip(const QString& text);

// The text of an editor's document as it was typed. Qt's plain text turns a no-break space into a plain one; here
// only the paragraph and line separators become line breaks.
QString typedText(const QTextDocument* document);
