#include "engine/EngineAnswer.h"

#include "engine/Utf8Decode.h"

#include <cstring>
#include <string_view>

namespace engine {

namespace {

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// What engine one's reader can carry: no zero byte, no line break, neither
// of its two markers.
std::string EngineOneLine(const std::string& line) {
    std::string out;
    out.reserve(line.size());
    for (char c : line) {
        if (c == '\0')
            continue;
        out += (c == '\r' || c == '\n') ? ' ' : c;
    }
    ReplaceAll(out, "\"}", "\" }");
    ReplaceAll(out, "\"words\":\"", "\"words\": \"");
    // The closing quote would complete a marker at the very end.
    if (std::string_view(out).ends_with("\"words\":"))
        out += ' ';
    return out;
}

void AppendEscape(std::string& out, char32_t unit) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += kHex[(unit >> shift) & 0xF];
}

void AppendEngineTwoLine(std::string& out, std::string_view line) {
    for (std::size_t i = 0; i < line.size();) {
        const char32_t cp = NextCodePoint(line, i);
        // Quotes, backslashes and the list's own punctuation are escaped too:
        // next to a line's quotes they would form the reader's markers.
        if (cp >= 0x20 && cp < 0x7F && !std::strchr("\"\\[],", static_cast<int>(cp))) {
            out += static_cast<char>(cp);
        } else if (cp >= 0x10000) {
            const char32_t v = cp - 0x10000;
            AppendEscape(out, 0xD800 + (v >> 10));
            AppendEscape(out, 0xDC00 + (v & 0x3FF));
        } else {
            AppendEscape(out, cp);
        }
    }
}

} // namespace

std::string WriteEngineOneAnswer(const std::vector<std::string>& lines) {
    std::string out = "{\"items\":[";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            out += ',';
        out += "{\"words\":\"";
        out += EngineOneLine(lines[i]);
        out += "\"}";
    }
    out += "]}";
    return out;
}

std::string WriteEngineTwoAnswer(const std::vector<std::string>& lines) {
    std::string out = "{\"state\":0,\"lines\":[";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            out += ',';
        out += '"';
        AppendEngineTwoLine(out, lines[i]);
        out += '"';
    }
    out += "]}";
    return out;
}

} // namespace engine
