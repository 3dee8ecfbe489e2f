#include "DecimalText.h"

#include <charconv>
#include <cmath>

namespace {
template <class T> QString shortest(T value) {
    if (!std::isfinite(value))
        return std::isnan(value) ? QStringLiteral("nan") : (value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf"));
    char buffer[64];
    const T magnitude = std::fabs(value);
    // Plain digits in the everyday range, exponent form for the very small and the very large.
    const bool plain = magnitude == 0 || (magnitude >= T(1e-4) && magnitude < T(1e16));
    const auto result = plain ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed)
                              : std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    QString text = QString::fromLatin1(buffer, int(result.ptr - buffer));
    if (plain && !text.contains(QLatin1Char('.')))
        text += QStringLiteral(".0");
    return text;
}
} // namespace

QString decimalText(double value) {
    return shortest(value);
}

QString decimalText(float value) {
    return shortest(value);
}
