#pragma once

#include <QByteArray>

#include <optional>

// The seconds of an HTTP "Retry-After" header given as a number. Negative, non-finite or unparsable
// values, and waits longer than a timer can hold, give none (the caller's own backoff applies).
std::optional<double> retryAfterSeconds(const QByteArray& headerValue);
