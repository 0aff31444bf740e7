#pragma once

#include <string>
#include <string_view>

namespace siteweb {

// GBK (code page 936, as the program sends it) to UTF-8. False for bytes that
// are no GBK character, a character cut at the end, or a NUL byte; out is
// then unspecified. Never reads past its input.
bool GbkToUtf8(std::string_view gbk, std::string& out);

// UTF-8 to GBK for our own pages; false when a character has no GBK form.
bool Utf8ToGbk(std::string_view utf8, std::string& out);

} // namespace siteweb
