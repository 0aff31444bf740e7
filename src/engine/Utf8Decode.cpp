#include "engine/Utf8Decode.h"

namespace engine {

namespace {

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// One sequence without surrogate joining; U+FFFD and a one-byte step when it
// is malformed, overlong or beyond U+10FFFF.
char32_t DecodeOne(std::string_view text, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2, cp = b0 & 0x1F, minimum = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, cp = b0 & 0x0F, minimum = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, cp = b0 & 0x07, minimum = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    if (text.size() - i < static_cast<std::size_t>(length)) {
        ++i;
        return kReplacement;
    }
    for (int k = 1; k < length; ++k) {
        const auto c = static_cast<unsigned char>(text[i + k]);
        if (!IsContinuation(c)) {
            ++i;
            return kReplacement;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF) {
        ++i;
        return kReplacement;
    }
    i += length;
    return cp;
}

bool IsHighSurrogate(char32_t cp) {
    return cp >= 0xD800 && cp <= 0xDBFF;
}

bool IsLowSurrogate(char32_t cp) {
    return cp >= 0xDC00 && cp <= 0xDFFF;
}

} // namespace

char32_t NextCodePoint(std::string_view text, std::size_t& i) {
    const char32_t cp = DecodeOne(text, i);
    if (IsHighSurrogate(cp) && i < text.size()) {
        std::size_t next = i;
        const char32_t low = DecodeOne(text, next);
        if (IsLowSurrogate(low)) {
            i = next;
            return 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace engine
