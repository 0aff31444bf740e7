#include "ocr/mybase64.h"

#include <QBuffer>
#include <QFile>
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two output characters per 12 input bits: one table load per half group keeps
// the encoder well above a gigabyte per second.
struct PairTable {
    std::array<uint16_t, 4096> pairs{};
    constexpr PairTable() {
        for (unsigned i = 0; i < 4096; ++i) {
            const auto hi = static_cast<uint8_t>(kAlphabet[i >> 6]);
            const auto lo = static_cast<uint8_t>(kAlphabet[i & 63]);
            // Stored in memory order: first character at the lower address.
            pairs[i] = std::endian::native == std::endian::little
                           ? static_cast<uint16_t>(hi | (lo << 8))
                           : static_cast<uint16_t>((hi << 8) | lo);
        }
    }
};

constexpr PairTable kPairs;

} // namespace

size_t Base64EncodeBlock(const uint8_t* source, size_t n, char* dest) {
    char* out = dest;
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        const uint32_t group =
            (uint32_t(source[i]) << 16) | (uint32_t(source[i + 1]) << 8) | uint32_t(source[i + 2]);
        const uint16_t first = kPairs.pairs[group >> 12];
        const uint16_t second = kPairs.pairs[group & 0xFFF];
        std::memcpy(out, &first, 2);
        std::memcpy(out + 2, &second, 2);
        out += 4;
    }
    const size_t rest = n - i;
    if (rest == 1) {
        const uint8_t b0 = source[i];
        out[0] = kAlphabet[b0 >> 2];
        out[1] = kAlphabet[(b0 & 3) << 4];
        out[2] = '=';
        out[3] = '=';
        out += 4;
    } else if (rest == 2) {
        const uint8_t b0 = source[i];
        const uint8_t b1 = source[i + 1];
        out[0] = kAlphabet[b0 >> 2];
        out[1] = kAlphabet[((b0 & 3) << 4) | (b1 >> 4)];
        out[2] = kAlphabet[(b1 & 15) << 2];
        out[3] = '=';
        out += 4;
    }
    return static_cast<size_t>(out - dest);
}

void TransformStreamRange(QIODevice& input, QIODevice& output, const TransformBlock& convert,
                          int64_t start, int64_t count, int inChunk, int outChunk) {
    const int64_t size = input.size();
    if (start < 0 || start >= size || inChunk <= 0 || outChunk <= 0)
        return;
    if (!input.seek(start))
        return;
    const int64_t end = (count > 0 && count <= size - start) ? start + count : size;
    std::vector<uint8_t> in(static_cast<size_t>(inChunk));
    std::vector<char> out(static_cast<size_t>(outChunk));
    int64_t position = start;
    while (position != end) {
        const int64_t want = std::min<int64_t>(inChunk, end - position);
        const int64_t got = input.read(reinterpret_cast<char*>(in.data()), want);
        // A short file (truncated under us) must not spin forever.
        if (got <= 0)
            break;
        const size_t made = convert(in.data(), static_cast<size_t>(got), out.data());
        output.write(out.data(), static_cast<qint64>(made));
        position += got;
    }
}

void Base64EncodeStream(QIODevice& input, QIODevice& output, int64_t start, int64_t count) {
    TransformStreamRange(input, output, Base64EncodeBlock, start, count, 6144, 8192);
}

QByteArray ReadFileAsBase64(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray text;
    text.reserve(static_cast<qsizetype>((file.size() + 2) / 3 * 4 + 2));
    QBuffer output(&text);
    output.open(QIODevice::WriteOnly);
    Base64EncodeStream(file, output, 0, 0);
    output.close();
    if (!text.isEmpty())
        text.append("\r\n");
    return text;
}
