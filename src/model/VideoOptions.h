#pragma once

#include "EnumTraits.h"

#include <QHashFunctions>
#include <QString>

// The options of one video job. Their raw values reach the wire, the user defaults and the stored
// record of a clip, so they are fixed exactly.
enum class VideoQuality { p512, p768, p1080 };
enum class VideoDuration { seconds6, seconds10 };
enum class VideoModel { hailuo02, hailuo23, hailuo23Fast };

template <> struct EnumTraits<VideoQuality> {
    static constexpr std::array<std::pair<VideoQuality, const char*>, 3> cases{{
        {VideoQuality::p512, "512P"},
        {VideoQuality::p768, "768P"},
        {VideoQuality::p1080, "1080P"},
    }};
};

template <> struct EnumTraits<VideoDuration> {
    static constexpr std::array<std::pair<VideoDuration, int>, 2> cases{{
        {VideoDuration::seconds6, 6},
        {VideoDuration::seconds10, 10},
    }};
};

template <> struct EnumTraits<VideoModel> {
    static constexpr std::array<std::pair<VideoModel, const char*>, 3> cases{{
        {VideoModel::hailuo02, "MiniMax-Hailuo-02"},
        {VideoModel::hailuo23, "MiniMax-Hailuo-2.3"},
        {VideoModel::hailuo23Fast, "MiniMax-Hailuo-2.3-Fast"},
    }};
};

// Hashes follow the raw value.
inline size_t qHash(VideoQuality value, size_t seed = 0) {
    return qHash(rawValue(value), seed);
}
inline size_t qHash(VideoDuration value, size_t seed = 0) {
    return qHash(rawValue(value), seed);
}
inline size_t qHash(VideoModel value, size_t seed = 0) {
    return qHash(rawValue(value), seed);
}
