#include "httpserver/Request.h"

#include <algorithm>

namespace httpserver {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [&](char x, char y) { return lower(x) == lower(y); });
}

std::string_view Request::Header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (EqualsIgnoringCase(key, name))
            return value;
    return {};
}

} // namespace httpserver
