#pragma once

#include <string>
#include <string_view>

namespace siteweb {

// Text for HTML content and quoted attribute values.
std::string HtmlEscape(std::string_view text);

} // namespace siteweb
