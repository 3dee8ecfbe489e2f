#pragma once

#include <QString>

#include <type_traits>

#include <array>
#include <optional>
#include <utility>

// Enums with raw values: each enum specialises EnumTraits with its cases in declaration order,
// and gets strict creation from a raw value, the raw value and the list of all cases from here.
template <class E> struct EnumTraits; // static constexpr std::array<std::pair<E, Raw>, N> cases;

template <class E> constexpr auto allCases() {
    std::array<E, EnumTraits<E>::cases.size()> result{};
    for (size_t i = 0; i < result.size(); ++i)
        result[i] = EnumTraits<E>::cases[i].first;
    return result;
}

// String raw values come back as QString, numeric ones as their number.
template <class E> auto rawValue(E value) {
    if constexpr (std::is_convertible_v<decltype(EnumTraits<E>::cases[0].second), const char*>) {
        for (const auto& [candidate, raw] : EnumTraits<E>::cases) {
            if (candidate == value)
                return QString::fromUtf8(raw);
        }
        return QString::fromUtf8(EnumTraits<E>::cases[0].second);
    } else {
        for (const auto& [candidate, raw] : EnumTraits<E>::cases) {
            if (candidate == value)
                return raw;
        }
        return EnumTraits<E>::cases[0].second;
    }
}

// The whole value must equal one raw value exactly (case-sensitive); anything else gives none.
template <class E, class Raw> std::optional<E> fromRawValue(const Raw& raw) {
    for (const auto& [candidate, candidateRaw] : EnumTraits<E>::cases) {
        if constexpr (std::is_convertible_v<decltype(candidateRaw), const char*>) {
            if (QString::fromUtf8(candidateRaw) == QString(raw))
                return candidate;
        } else if (candidateRaw == raw) {
            return candidate;
        }
    }
    return std::nullopt;
}
