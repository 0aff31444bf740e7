#include "engine/OcrText.h"

#include <algorithm>
#include <cstring>

namespace engine {

namespace {

// Empty columns at a break, as a share of the line's height (ascender to
// descender), measured on screen fonts at 12-20 px: between a CJK character
// and a Latin one, up to 0.17 without a blank and from 0.19 with one; Korean
// syllables of one word stand up to 0.235 apart, words from 0.215.
constexpr float kBlankFraction = 0.18f;
constexpr float kHangulBlankFraction = 0.225f;

enum class Kind { Other, Ideograph, Hangul, WidePunctuation };

Kind KindOf(char32_t c) {
    if ((c >= 0x2E80 && c <= 0x2FDF) || (c >= 0x3005 && c <= 0x3007) ||
        (c >= 0x3021 && c <= 0x3029) || (c >= 0x3038 && c <= 0x303B) ||
        (c >= 0x3040 && c <= 0x30FF) || (c >= 0x31F0 && c <= 0x31FF) ||
        (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
        (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF66 && c <= 0xFF9F) ||
        (c >= 0x20000 && c <= 0x3134F))
        return Kind::Ideograph; // Han and Kana
    if ((c >= 0x1100 && c <= 0x11FF) || (c >= 0x3130 && c <= 0x318F) ||
        (c >= 0xA960 && c <= 0xA97F) || (c >= 0xAC00 && c <= 0xD7FF))
        return Kind::Hangul;
    if ((c >= 0x3000 && c <= 0x303F) || (c >= 0xFE10 && c <= 0xFE1F) ||
        (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF65) ||
        (c >= 0xFFE0 && c <= 0xFFEE))
        return Kind::WidePunctuation; // CJK punctuation and full-width forms
    return Kind::Other;
}

bool IsPunctuation(char32_t c) {
    return (c < 0x80 && c > ' ' && std::strchr("!\"'(),-.:;?[]{}", static_cast<int>(c))) ||
           c == 0xB7 || (c >= 0x2010 && c <= 0x2027);
}

// The code point that starts at `i`; malformed bytes count as themselves.
char32_t DecodeAt(const std::string& s, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b = byte(i);
    const size_t length = b < 0x80         ? 1
                          : (b >> 5) == 6  ? 2
                          : (b >> 4) == 14 ? 3
                          : (b >> 3) == 30 ? 4
                                           : 1;
    if (length == 1 || i + length > s.size())
        return b;
    char32_t c = b & (0x7F >> length);
    for (size_t k = 1; k < length; ++k)
        c = (c << 6) | (byte(i + k) & 0x3F);
    return c;
}

char32_t First(const std::string& s) {
    return s.empty() ? 0 : DecodeAt(s, 0);
}

char32_t Last(const std::string& s) {
    size_t i = s.size();
    while (i > 0 && (static_cast<unsigned char>(s[i - 1]) & 0xC0) == 0x80)
        --i;
    return i == 0 ? 0 : DecodeAt(s, i - 1);
}

bool Blank(const OcrGlyph& before, const OcrGlyph& after, int lineHeight) {
    if (!after.startsWord)
        return false;
    const char32_t last = Last(before.text), first = First(after.text);
    const Kind a = KindOf(last);
    const Kind b = KindOf(first);
    if (a == Kind::WidePunctuation || b == Kind::WidePunctuation)
        return false; // full-width punctuation carries its own spacing
    if (a == Kind::Ideograph && b == Kind::Ideograph)
        return false;
    // Chinese text takes ASCII punctuation without blanks, and the model reads
    // some full-width marks (a colon in the middle of its box) as ASCII ones.
    if ((a == Kind::Ideograph && IsPunctuation(first)) ||
        (b == Kind::Ideograph && IsPunctuation(last)))
        return false;
    if (a == Kind::Other && b == Kind::Other)
        return true;
    const float fraction =
        a == Kind::Hangul && b == Kind::Hangul ? kHangulBlankFraction : kBlankFraction;
    return static_cast<float>(after.gapBefore) >= fraction * static_cast<float>(lineHeight);
}

} // namespace

std::string JoinOcrGlyphs(const std::vector<OcrGlyph>& glyphs, int lineHeight) {
    std::string line;
    const OcrGlyph* previous = nullptr;
    for (const OcrGlyph& glyph : glyphs) {
        if (glyph.text.empty())
            continue;
        if (previous && Blank(*previous, glyph, lineHeight))
            line += ' ';
        line += glyph.text;
        previous = &glyph;
    }
    return line;
}

bool IsWideCharacter(const std::string& character) {
    return KindOf(First(character)) != Kind::Other;
}

int GapNear(const std::vector<bool>& ink, int position, int radius) {
    const int size = static_cast<int>(ink.size());
    const int from = std::max(0, position - radius), to = std::min(size, position + radius + 1);
    int widest = 0;
    for (int x = from; x < to; ++x) {
        if (ink[static_cast<size_t>(x)])
            continue;
        int start = x, end = x;
        while (start > 0 && !ink[static_cast<size_t>(start - 1)])
            --start;
        while (end < size && !ink[static_cast<size_t>(end)])
            ++end;
        widest = std::max(widest, end - start);
        x = end;
    }
    return widest;
}

} // namespace engine
