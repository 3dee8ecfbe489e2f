#include "WireDecoding.h"

#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <cstring>
#include <vector>

namespace WireDecoding {
namespace {

// The 64 characters of the alphabet, without padding.
bool isPlain(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

} // namespace

// A slice of whole four-character groups with no padding or other byte decodes to exactly its share of
// the bytes; when any slice but the last is not like that, the text is decoded in one piece.
std::optional<QByteArray> decodeBase64(const char* text, qsizetype size) {
    constexpr qsizetype sliceLength = 4 * 1024 * 1024; // a multiple of 4
    const auto whole = [](const char* from, qsizetype length) -> std::optional<QByteArray> {
        auto decoded = QByteArray::fromBase64Encoding(QByteArray::fromRawData(from, length),
                                                      QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return std::nullopt;
        return std::move(decoded.decoded);
    };
    if (size <= 2 * sliceLength)
        return whole(text, size);

    const qsizetype slices = (size + sliceLength - 1) / sliceLength;
    QByteArray out(size / 4 * 3 + 3, Qt::Uninitialized);
    std::vector<qsizetype> lengths(size_t(slices), -1);
    QList<qsizetype> indexes;
    for (qsizetype i = 0; i < slices; ++i)
        indexes.append(i);
    char* target = out.data();
    QtConcurrent::blockingMap(indexes, [&](qsizetype i) {
        const char* from = text + i * sliceLength;
        const qsizetype length = std::min(sliceLength, size - i * sliceLength);
        if (i + 1 < slices && !std::all_of(from, from + length, isPlain))
            return; // left at -1
        const auto decoded = QByteArray::fromBase64Encoding(QByteArray::fromRawData(from, length),
                                                            QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return;
        std::memcpy(target + i * (sliceLength / 4 * 3), decoded.decoded.constData(), size_t(decoded.decoded.size()));
        lengths[size_t(i)] = decoded.decoded.size();
    });
    if (std::find(lengths.begin(), lengths.end(), qsizetype(-1)) != lengths.end())
        return whole(text, size);
    out.truncate((slices - 1) * (sliceLength / 4 * 3) + lengths.back());
    return out;
}

} // namespace WireDecoding
