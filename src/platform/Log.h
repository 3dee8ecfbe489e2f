#pragma once

#include <QString>

#include <functional>

// Console lines, written exactly as given. There are no levels and no log file.
namespace Log {

void line(const QString& text);

// Tests capture lines instead of (not in addition to) printing them.
using Sink = std::function<void(const QString&)>;
void setSink(Sink sink);

} // namespace Log
