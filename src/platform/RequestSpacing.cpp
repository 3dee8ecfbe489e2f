#include "RequestSpacing.h"

#include "Clock.h"
#include "RetryAfter.h"

#include <algorithm>
#include <cmath>

RequestSpacing::RequestSpacing(double intervalSeconds)
    : intervalMs_(std::isfinite(intervalSeconds) && intervalSeconds > 0 ? std::llround(intervalSeconds * 1000.0) : 0) {}

qint64 RequestSpacing::remainingMs() const {
    if (!lastSentMs_)
        return 0;
    const qint64 elapsedMs = Clock::current().monotonicMs() - *lastSentMs_;
    return std::clamp<qint64>(intervalMs_ - elapsedMs, 0, intervalMs_);
}

void RequestSpacing::markSent() {
    lastSentMs_ = Clock::current().monotonicMs();
}

double RequestSpacing::backoff(int retry) {
    return std::min(std::pow(2.0, std::max(retry, 0)), 60.0);
}

double RequestSpacing::retryDelay(const QByteArray& retryAfter, int retry) {
    if (const auto seconds = retryAfterSeconds(retryAfter))
        return *seconds;
    return backoff(retry);
}

bool RequestSpacing::isTransient(std::optional<int> httpStatus) {
    return !httpStatus || *httpStatus >= 500 || *httpStatus == 408 || *httpStatus == 429;
}
