#include "siteweb/FormFields.h"

namespace siteweb {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool Unescape(std::string_view in, std::string& out) {
    out.clear();
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%') {
            if (i + 2 >= in.size())
                return false;
            const int hi = HexValue(in[i + 1]);
            const int lo = HexValue(in[i + 2]);
            if (hi < 0 || lo < 0)
                return false;
            out += char(hi * 16 + lo);
            i += 2;
        } else {
            out += c;
        }
    }
    return true;
}

bool IsUnreserved(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

} // namespace

bool DecodeForm(std::string_view text, FormPairs& out) {
    out.clear();
    while (!text.empty()) {
        const std::size_t amp = text.find('&');
        const std::string_view piece = text.substr(0, amp);
        text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
        if (piece.empty())
            continue;
        const std::size_t eq = piece.find('=');
        if (eq == std::string_view::npos)
            return false;
        std::pair<std::string, std::string> pair;
        if (!Unescape(piece.substr(0, eq), pair.first) ||
            !Unescape(piece.substr(eq + 1), pair.second))
            return false;
        out.push_back(std::move(pair));
    }
    return true;
}

std::string FormValue(const FormPairs& pairs, std::string_view name) {
    for (const auto& [key, value] : pairs)
        if (key == name)
            return value;
    return {};
}

std::string UrlEncode(std::string_view bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (IsUnreserved(c)) {
            out += char(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

} // namespace siteweb
