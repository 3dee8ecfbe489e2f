#pragma once

// What the benchmarks measure with: resident memory from /proc and the median of the rounds.

#include <QByteArray>
#include <QFile>

#include <algorithm>

namespace BenchSupport {

// A field of /proc/self/status in KiB ("VmRSS:", "VmHWM:"), or -1.
inline qint64 statusKiB(const char* field) {
    QFile file("/proc/self/status");
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Peak resident memory of one phase above what was resident when it started.
struct PeakMeter {
    qint64 baseline = 0;
    void start() {
        QFile refs("/proc/self/clear_refs");
        if (refs.open(QIODevice::WriteOnly))
            refs.write("5"); // resets the high-water mark
        baseline = statusKiB("VmRSS:");
    }
    double extraMB() const { return double(statusKiB("VmHWM:") - baseline) / 1024.0; }
};

template <class List> double median(List values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace BenchSupport
