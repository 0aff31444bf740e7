#include "translate/TranslationResponse.h"

#include <cstring>

namespace {

constexpr QByteArrayView kEscapedLineBreak = "\\r\\n";

// Index of the first `first` directly followed by `rest` (memchr does the
// scanning: answers run to megabytes and are parsed on the window's thread).
qsizetype FindPair(QByteArrayView text, char first, QByteArrayView rest) {
    const char* const begin = text.data();
    const char* p = begin;
    const char* const end = begin + text.size();
    while (p < end) {
        const auto* hit = static_cast<const char*>(std::memchr(p, first, size_t(end - p)));
        if (!hit || end - hit - 1 < rest.size())
            return -1;
        if (std::memcmp(hit + 1, rest.data(), size_t(rest.size())) == 0)
            return hit - begin;
        p = hit + 1;
    }
    return -1;
}

qsizetype FindByte(QByteArrayView text, qsizetype from, char c) {
    if (from >= text.size())
        return -1;
    const char* const begin = text.data();
    const auto* hit =
        static_cast<const char*>(std::memchr(begin + from, c, size_t(text.size() - from)));
    return hit ? hit - begin : -1;
}

// Appends `text` with every escaped line break turned into CR LF. No escape can
// span two entries (they are separated by a real CR LF), so converting entry by
// entry gives what one pass over the whole result would.
void AppendUnescapingLineBreaks(QByteArray& out, QByteArrayView text) {
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const auto* slash = static_cast<const char*>(std::memchr(p, '\\', size_t(end - p)));
        if (!slash) {
            out.append(p, end - p);
            return;
        }
        if (end - slash >= 4 && std::memcmp(slash, kEscapedLineBreak.data(), 4) == 0) {
            out.append(p, slash - p);
            out.append("\r\n", 2);
            p = slash + 4;
        } else {
            out.append(p, slash + 1 - p);
            p = slash + 1;
        }
    }
}

void AppendEntry(QByteArray& out, QByteArrayView piece) {
    if (piece.isEmpty() || piece.front() != '"')
        return;
    const qsizetype separator = FindPair(piece, '"', ",\"");
    if (separator < 0)
        return;
    // A piece starting with quote-comma-quote has a quoted string of length -1:
    // it still gives its (empty) line.
    qsizetype count = separator - 1;
    if (count > 0) {
        QByteArrayView sentence = piece.sliced(1, count);
        if (sentence.endsWith(kEscapedLineBreak))
            sentence.chop(kEscapedLineBreak.size());
        AppendUnescapingLineBreaks(out, sentence);
    }
    out.append("\r\n", 2);
}

} // namespace

QByteArray ParseTranslationResponse(QByteArrayView body) {
    QByteArray out;
    // Pieces never contain "[", so the first "]]" of the answer lies in the piece
    // that ends the walk: every piece that ends before it is an entry.
    const qsizetype stop = FindPair(body, ']', "]");
    const qsizetype limit = stop < 0 ? body.size() : stop;
    qsizetype start = 0;
    while (true) {
        const qsizetype next = FindByte(body, start, '[');
        if (next < 0 || next > limit)
            break;
        AppendEntry(out, body.sliced(start, next - start));
        start = next + 1;
    }
    // Without any "]]" the piece after the last "[" is an entry too; with one,
    // the walk has just reached the piece that holds it.
    if (stop < 0)
        AppendEntry(out, body.sliced(start));
    return out;
}

QByteArray StringListText(QByteArrayView bytes) {
    if (bytes.isEmpty())
        return {};
    const auto* zero = static_cast<const char*>(std::memchr(bytes.data(), 0, size_t(bytes.size())));
    if (zero)
        bytes.truncate(zero - bytes.data());
    QByteArray out;
    out.reserve(bytes.size() + bytes.size() / 32 + 2);
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    while (p < end) {
        const char* q = p;
        while (q < end && *q != '\r' && *q != '\n')
            ++q;
        out.append(p, q - p);
        out.append("\r\n", 2);
        if (q < end && *q == '\r')
            ++q;
        if (q < end && *q == '\n')
            ++q;
        p = q;
    }
    return out;
}
