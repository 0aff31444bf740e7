#pragma once

#include <string>
#include <string_view>

namespace sitestore {

// A LIKE pattern (escape character '\') matching any text that contains the
// words as typed: '%', '_' and '\' in them match only themselves.
std::string ContainsPattern(std::string_view words);

} // namespace sitestore
