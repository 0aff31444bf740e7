#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace siteweb {

using FormPairs = std::vector<std::pair<std::string, std::string>>;

// Splits an application/x-www-form-urlencoded text (a body or a query) into
// its pairs, decoding "+" and "%XX" into bytes. False for a broken escape or
// a pair without "="; empty pieces ("a=1&&b=2") are skipped.
bool DecodeForm(std::string_view text, FormPairs& out);

// The value of the first pair with this name, or empty.
std::string FormValue(const FormPairs& pairs, std::string_view name);

// Percent-encodes everything but ASCII letters, digits and "-._~".
std::string UrlEncode(std::string_view bytes);

} // namespace siteweb
