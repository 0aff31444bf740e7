#include "engine/SpeechText.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace engine {

namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;

// Decodes the sequence at text[pos] and advances pos past it; a malformed
// sequence gives kInvalid and advances by one byte.
char32_t DecodeAt(std::string_view text, std::size_t& pos) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    // The shortest code point each length may carry: anything below is an overlong form.
    static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    const std::size_t length = (lead & 0xE0) == 0xC0   ? 2
                               : (lead & 0xF0) == 0xE0 ? 3
                               : (lead & 0xF8) == 0xF0 ? 4
                                                       : 0;
    if (length == 0) {
        ++pos;
        return kInvalid;
    }
    char32_t cp = lead & (0x7F >> length);
    const char32_t minimum = kMinimum[length];
    if (text.size() - pos < length) {
        ++pos;
        return kInvalid;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const std::uint8_t next = byte(pos + i);
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return kInvalid;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return kInvalid;
    }
    pos += length;
    return cp;
}

// espeak-ng switches to another language's rules for a word in another
// script, and in 1.51 a text that makes it switch more than once, or switch
// on a character it has no rules for, reads freed memory (found with
// AddressSanitizer: "ﺨц₩" under the Italian voice, "Πﾞﵺ먶Ε" under the Greek
// one, U+11CD alone under any voice but Korean). So each voice gets its own
// script and the characters every text shares; ASCII words still switch to
// English, which holds up.
enum Class : unsigned {
    Ascii = 1 << 0,   // printable ASCII, tab and line breaks
    Symbols = 1 << 1, // Latin-1 signs, general punctuation, currency
    Latin = 1 << 2,   // accented and extended letters, combining accents
    Greek = 1 << 3,   // modern and polytonic letters
    Cyrillic = 1 << 4,
    Arabic = 1 << 5, // without presentation forms
    Thai = 1 << 6,
    Han = 1 << 7, // unified ideographs, extension A
    Kana = 1 << 8,
    Hangul = 1 << 9,    // syllables and compatibility jamo
    CjkSigns = 1 << 10, // ideographic punctuation
};

struct Range {
    char32_t first, last;
    Class of;
};

constexpr Range kClasses[] = {
    {'\t', '\n', Ascii},        {'\r', '\r', Ascii},       {0x20, 0x7E, Ascii},
    {0xA0, 0xBF, Symbols},      {0xC0, 0xD6, Latin},       {0xD7, 0xD7, Symbols},
    {0xD8, 0xF6, Latin},        {0xF7, 0xF7, Symbols},     {0xF8, 0x24F, Latin},
    {0x300, 0x36F, Latin},      {0x386, 0x386, Greek},     {0x388, 0x38A, Greek},
    {0x38C, 0x38C, Greek},      {0x38E, 0x3A1, Greek},     {0x3A3, 0x3CE, Greek},
    {0x400, 0x4FF, Cyrillic},   {0x600, 0x6FF, Arabic},    {0xE01, 0xE3A, Thai},
    {0xE3F, 0xE5B, Thai},       {0x1E00, 0x1EFF, Latin},   {0x1F00, 0x1FFE, Greek},
    {0x2010, 0x2027, Symbols},  {0x2030, 0x205E, Symbols}, {0x20A0, 0x20C0, Symbols},
    {0x3000, 0x303F, CjkSigns}, {0x3041, 0x3096, Kana},    {0x3099, 0x30FF, Kana},
    {0x3131, 0x318E, Hangul},   {0x3400, 0x4DBF, Han},     {0x4E00, 0x9FFF, Han},
    {0xAC00, 0xD7A3, Hangul},
};

Class ClassOf(char32_t cp) {
    for (const Range& r : kClasses) {
        if (cp >= r.first && cp <= r.last)
            return r.of;
    }
    return Class(0);
}

unsigned ClassesFor(std::string_view speechCode) {
    constexpr unsigned shared = Ascii | Symbols;
    const std::pair<std::string_view, unsigned> own[] = {
        {"zh", Han | CjkSigns},
        {"cht", Han | CjkSigns},
        {"jp", Han | Kana | CjkSigns},
        {"kor", Hangul | CjkSigns},
        {"ru", Cyrillic},
        {"bul", Cyrillic},
        {"el", Greek},
        {"ara", Arabic},
        {"th", Thai},
    };
    for (const auto& [code, classes] : own) {
        if (code == speechCode)
            return shared | classes;
    }
    return shared | Latin;
}

} // namespace

std::optional<std::string> SpeakableText(std::string_view utf8, std::string_view speechCode) {
    const unsigned keep = ClassesFor(speechCode);
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        const std::size_t start = pos;
        const char32_t cp = DecodeAt(utf8, pos);
        if (cp == kInvalid)
            return std::nullopt;
        if (cp >= 0xFF01 && cp <= 0xFF5E) {
            // Full-width ASCII, common in Chinese and Japanese text.
            out += static_cast<char>(cp - 0xFEE0);
            continue;
        }
        if (ClassOf(cp) & keep)
            out.append(utf8.substr(start, pos - start));
        else
            out += ' ';
    }
    return out;
}

std::string_view SpeechCodeForScript(std::string_view utf8) {
    struct Tally {
        Class of;
        std::string_view code;
        std::size_t weight; // a Han, kana or Hangul character is a syllable
        std::size_t count = 0;
    };
    std::array<Tally, 8> tally = {{{Latin, "en", 1},
                                   {Han, "zh", 3},
                                   {Kana, "jp", 3},
                                   {Hangul, "kor", 3},
                                   {Cyrillic, "ru", 1},
                                   {Greek, "el", 1},
                                   {Arabic, "ara", 1},
                                   {Thai, "th", 1}}};
    for (std::size_t pos = 0; pos < utf8.size();) {
        const char32_t cp = DecodeAt(utf8, pos);
        const bool asciiLetter = (cp | 0x20) >= 'a' && (cp | 0x20) <= 'z';
        const Class of = asciiLetter ? Latin : ClassOf(cp);
        for (Tally& t : tally) {
            if (t.of == of)
                t.count += t.weight;
        }
    }
    // Japanese writes kanji beside its kana.
    if (tally[2].count > 0) {
        tally[2].count += tally[1].count;
        tally[1].count = 0;
    }
    const Tally* best = &tally[0];
    for (const Tally& t : tally) {
        if (t.count > best->count)
            best = &t;
    }
    return best->code;
}

} // namespace engine
