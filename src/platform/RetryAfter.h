#pragma once

#include <QByteArray>

#include <optional>

// The longest wait a server's "Retry-After" gets: a longer one, or a number that is no wait at all (negative,
// not a number, infinite), waits this long instead of hammering a server that asked for quiet.
inline constexpr double maxRetryAfterSeconds = 600.0;

// The seconds an HTTP "Retry-After" header asks for when its value is a number, as given up to
// maxRetryAfterSeconds; none when it is not a number (a date, a word, nothing): the caller's own backoff applies.
std::optional<double> retryAfterSeconds(const QByteArray& headerValue);
