#include "RetryAfter.h"

#include <QString>

#include <cmath>
#include <limits>

std::optional<double> retryAfterSeconds(const QByteArray& headerValue) {
    const QByteArray text = headerValue.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double seconds = QString::fromLatin1(text).toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < 0)
        return std::nullopt;
    // A single timer holds at most INT_MAX milliseconds.
    if (seconds * 1000.0 > double(std::numeric_limits<int>::max()))
        return std::nullopt;
    return seconds;
}
