#pragma once

#include <QString>

#include <cstring>

// The system's own words for an errno value ("No space left on device"): what the user is told when a file
// operation fails, never "Unknown error".
inline QString systemReason(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}
