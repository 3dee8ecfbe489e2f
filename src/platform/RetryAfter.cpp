#include "RetryAfter.h"

#include <QString>

#include <cmath>

std::optional<double> retryAfterSeconds(const QByteArray& headerValue) {
    const QByteArray text = headerValue.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double seconds = QString::fromLatin1(text).toDouble(&ok);
    // A number too large for a double reads as infinite, without ok.
    if (!ok && !std::isinf(seconds))
        return std::nullopt;
    if (std::isnan(seconds) || seconds < 0 || seconds > maxRetryAfterSeconds)
        return maxRetryAfterSeconds;
    return seconds;
}
