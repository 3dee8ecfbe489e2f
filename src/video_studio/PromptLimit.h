#pragma once

#include "Graphemes.h"

#include <QString>

// The prompt is limited in user-perceived characters (grapheme clusters), not in UTF-16 units, so an
// emoji or a letter with combining marks counts once and is never split by a cut.
namespace PromptLimit {

constexpr int maxCharacters = 2000;
// From this count on the counter turns red.
constexpr int warningCount = 1801;

inline int characterCount(const QString& text) {
    return int(Graphemes::count(text));
}
// The first `limit` characters of `text`; `text` itself when it is not longer.
inline QString truncated(const QString& text, int limit = maxCharacters) {
    return Graphemes::truncated(text, limit);
}

} // namespace PromptLimit
