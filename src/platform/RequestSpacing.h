#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

// Keeps a client's requests at least `interval` seconds apart, measured on the current clock's monotonic
// time, so a wall-clock step backwards never holds a request and a step forwards never hurries one.
// Also the back-off schedule every client shares for its retries.
class RequestSpacing {
public:
    explicit RequestSpacing(double intervalSeconds);

    // Time still to wait before the next request may go; 0 before the first request.
    qint64 remainingMs() const;
    double remaining() const { return double(remainingMs()) / 1000.0; }
    // Notes that a request goes now.
    void markSent();

    // 2, 4, 8, ... seconds for the 1st, 2nd, 3rd ... retry, at most a minute.
    static double backoff(int retry);
    // The server's Retry-After when it is a number of seconds (at most ten minutes), the back-off otherwise.
    static double retryDelay(const QByteArray& retryAfter, int retry);
    // Worth another try: a transport failure (no status), a server-side error, 408 or 429.
    static bool isTransient(std::optional<int> httpStatus);

private:
    qint64 intervalMs_;
    std::optional<qint64> lastSentMs_;
};
