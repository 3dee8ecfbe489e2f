#pragma once

#include "EnumTraits.h"

// The image generation provider; there is one.
enum class ImageProvider { orvane };

template <> struct EnumTraits<ImageProvider> {
    static constexpr std::array<std::pair<ImageProvider, const char*>, 1> cases{{{ImageProvider::orvane, "orvane"}}};
};
