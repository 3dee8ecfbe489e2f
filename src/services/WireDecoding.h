#pragma once

#include <QByteArray>
#include <QString>

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

// What both service clients share when they decode an answer strictly.
namespace WireDecoding {

// The platform's words for an answer that cannot be decoded.
inline QString missingDataText() {
    return QStringLiteral("The data couldn’t be read because it is missing.");
}
inline QString corruptedDataText() {
    return QStringLiteral("The data couldn’t be read because it isn’t in the correct format.");
}

// A whole number that fits in 64 bits, also when written as a decimal (1300.0); 12.5, true or a number
// beyond 64 bits is not a count.
inline std::optional<std::int64_t> wholeNumber(const nlohmann::json& value) {
    if (value.is_number_float()) {
        const double number = value.get<double>();
        // 2^63 is the first double past the range; every double below it in magnitude converts exactly.
        if (!std::isfinite(number) || std::trunc(number) != number || number >= 9223372036854775808.0 ||
            number < -9223372036854775808.0)
            return std::nullopt;
        return std::int64_t(number);
    }
    if (!value.is_number_integer())
        return std::nullopt;
    if (value.is_number_unsigned() &&
        value.get<std::uint64_t>() > std::uint64_t(std::numeric_limits<std::int64_t>::max()))
        return std::nullopt;
    return value.get<std::int64_t>();
}

// Standard base64 as QByteArray::fromBase64Encoding with AbortOnBase64DecodingErrors reads it (nothing
// for text it rejects), a long text decoded in slices on the global thread pool with the calling thread taking
// part, so it may be called from a thread of that pool.
std::optional<QByteArray> decodeBase64(const char* text, qsizetype size);

} // namespace WireDecoding
