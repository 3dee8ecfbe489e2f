#pragma once

#include <QString>

// User-perceived characters (grapheme clusters): what the prompt limit and its counter count.
namespace Graphemes {

qsizetype count(const QString& text);
// The first `limit` grapheme clusters of `text`; the text itself when it is not longer.
QString truncated(const QString& text, qsizetype limit);

} // namespace Graphemes
