#include "Log.h"

#include <cstdio>

namespace Log {
namespace {
Sink& sink() {
    static Sink s;
    return s;
}
} // namespace

void line(const QString& text) {
    if (sink()) {
        sink()(text);
        return;
    }
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void setSink(Sink s) {
    sink() = std::move(s);
}

} // namespace Log
