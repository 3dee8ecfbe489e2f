#pragma once

#include <QString>

// Names, prompts and service texts in a tooltip, shown as they are. Qt reads a tooltip as markup whenever it
// looks like markup ("<b>x</b>" would come out bold, "<img src=…>" would load a picture), so the text is
// escaped and set in a paragraph that keeps its spaces and line breaks. Labels take Qt::PlainText instead.
QString plainToolTip(const QString& text);
