#pragma once

#include <string>
#include <string_view>

namespace siteweb {

// "留言成功" in GBK: the program takes a reply line equal to it as success.
inline constexpr std::string_view kSuccessMarkerGbk = "\xC1\xF4\xD1\xD4\xB3\xC9\xB9\xA6";
inline constexpr std::string_view kReplyContentType = "text/html; charset=GBK";

// The GBK page for a stored message, the marker alone on its own line.
const std::string& FeedbackStoredPage();
// The GBK page for a refused message: the reason, and no marker line.
std::string FeedbackRefusedPage(std::string_view reasonUtf8);

} // namespace siteweb
