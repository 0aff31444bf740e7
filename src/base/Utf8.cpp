#include "base/Utf8.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

} // namespace

QByteArray Utf16ToUtf8(QStringView text) {
    QByteArray out(text.size() * 3, Qt::Uninitialized);
    char* w = out.data();
    for (QChar qc : text) {
        const char16_t unit = qc.unicode();
        if (unit < 0x80) {
            *w++ = char(unit);
        } else if (unit < 0x800) {
            *w++ = char(0xC0 | (unit >> 6));
            *w++ = char(0x80 | (unit & 0x3F));
        } else {
            // Surrogate halves too: the services expect one sequence per code unit.
            *w++ = char(0xE0 | (unit >> 12));
            *w++ = char(0x80 | ((unit >> 6) & 0x3F));
            *w++ = char(0x80 | (unit & 0x3F));
        }
    }
    out.truncate(w - out.data());
    return out;
}

QString Utf8ToUtf16(QByteArrayView bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    QString out;
    out.reserve(n);
    qsizetype i = 0;
    while (i < n) {
        const unsigned char lead = p[i];
        if (lead < 0x80) {
            out.append(QChar(char16_t(lead)));
            ++i;
            continue;
        }
        int length;
        char32_t code;
        // Bounds of the second byte rule out overlong forms and code points past
        // U+10FFFF; 3-byte surrogates (ED A0..BF) stay allowed on purpose.
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
            if (lead == 0xE0)
                low = 0xA0;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;
        } else {
            // Stray continuation byte, C0/C1 or F5..FF.
            out.append(QChar(kReplacement));
            ++i;
            continue;
        }
        qsizetype j = i + 1;
        bool ok = true;
        for (int k = 1; k < length; ++k, ++j) {
            if (j >= n) {
                ok = false;
                break;
            }
            const unsigned char b = p[j];
            const bool inRange = k == 1 ? (b >= low && b <= high) : IsContinuation(b);
            if (!inRange) {
                ok = false;
                break;
            }
            code = (code << 6) | (b & 0x3F);
        }
        if (!ok) {
            // One replacement for the valid prefix; decoding resumes at the
            // byte that broke the sequence.
            out.append(QChar(kReplacement));
            i = j;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out.append(QChar(char16_t(0xD800 + (code >> 10))));
            out.append(QChar(char16_t(0xDC00 + (code & 0x3FF))));
        } else {
            out.append(QChar(char16_t(code)));
        }
        i = j;
    }
    return out;
}
