#pragma once

#include <string>
#include <string_view>

namespace engine {

inline constexpr char32_t kReplacement = 0xFFFD;

// The code point at text[i], advancing i past it. A malformed or truncated
// sequence yields U+FFFD and advances by one byte, so a walk always ends.
// Surrogates encoded on their own (3 bytes each) are returned as such; a
// high one followed by a low one is joined into the character they encode.
char32_t NextCodePoint(std::string_view text, std::size_t& i);

void AppendUtf8(std::string& out, char32_t codePoint);

} // namespace engine
