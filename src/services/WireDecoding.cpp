#include "WireDecoding.h"

#include "SharedWork.h"

#include <algorithm>
#include <array>
#include <memory>

namespace WireDecoding {
namespace {

constexpr qsizetype sliceLength = 4 * 1024 * 1024; // whole four-character groups

// Six-bit values of the 64 characters of the alphabet; 0xff for padding and every other byte.
constexpr std::array<unsigned char, 256> sextets = [] {
    std::array<unsigned char, 256> table{};
    table.fill(0xff);
    const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (unsigned char i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(alphabet[i])] = i;
    return table;
}();

std::optional<QByteArray> inOnePiece(const char* text, qsizetype size) {
    auto decoded =
        QByteArray::fromBase64Encoding(QByteArray::fromRawData(text, size), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return std::move(decoded.decoded);
}

// Decodes whole groups of alphabet characters into `out` and returns how many characters it took: it stops
// at the first group holding padding or any other byte.
qsizetype decodePlainGroups(const char* text, qsizetype size, char* out) {
    const auto* in = reinterpret_cast<const unsigned char*>(text);
    qsizetype done = 0;
    for (; done + 4 <= size; done += 4) {
        const unsigned a = sextets[in[done]], b = sextets[in[done + 1]], c = sextets[in[done + 2]],
                       d = sextets[in[done + 3]];
        if ((a | b | c | d) & 0xc0)
            break;
        const unsigned bits = a << 18 | b << 12 | c << 6 | d;
        *out++ = char(bits >> 16);
        *out++ = char(bits >> 8);
        *out++ = char(bits);
    }
    return done;
}

} // namespace

// Qt's reader carries nothing from one whole group to the next, so whole groups of plain characters decode
// to the same bytes wherever the text is cut between groups. Slices are decoded apart; whatever follows the
// plain groups of the last slice (padding, or a stray byte to refuse) goes through Qt's reader; a stray byte
// in an earlier slice sends the whole text there, so every text gets Qt's exact answer.
std::optional<QByteArray> decodeBase64(const char* text, qsizetype size) {
    if (size < sliceLength)
        return inOnePiece(text, size);
    const qsizetype slices = (size + sliceLength - 1) / sliceLength;
    QByteArray out(size / 4 * 3, Qt::Uninitialized);
    char* target = out.data();
    // Often called on a pool thread itself: the slices nobody else has started are decoded here.
    auto work = std::make_shared<SharedWork<qsizetype>>(int(slices));
    work->start(*QThreadPool::globalInstance(), [text, size, target](int i) {
        const qsizetype length = std::min(sliceLength, size - i * sliceLength);
        return decodePlainGroups(text + i * sliceLength, length, target + i * (sliceLength / 4 * 3));
    });
    const QList<qsizetype> plain = work->finish();
    for (qsizetype i = 0; i + 1 < slices; ++i) {
        if (plain[i] != sliceLength)
            return inOnePiece(text, size);
    }
    const qsizetype decodedText = (slices - 1) * sliceLength + plain.back();
    out.truncate(decodedText / 4 * 3);
    if (decodedText == size)
        return out;
    const auto rest = inOnePiece(text + decodedText, size - decodedText);
    if (!rest)
        return std::nullopt;
    out.append(*rest);
    return out;
}

} // namespace WireDecoding
