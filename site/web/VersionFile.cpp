#include "siteweb/VersionFile.h"

namespace siteweb {

namespace {

bool IsTrimmed(char c) {
    return c == ' ' || c == '\t' || c == '"' || c == '\'';
}

// The reader trims blanks and then drops one pair of matching quotes.
std::string IniValue(const std::string& value) {
    if (!value.empty() && (IsTrimmed(value.front()) || IsTrimmed(value.back())))
        return '"' + value + '"';
    return value;
}

} // namespace

std::string VersionFileText(const sitestore::Release& newest) {
    std::string text = "[information]\r\nversion=" + IniValue(newest.version) + "\r\n";
    if (!newest.prompt.empty())
        text += "NewVersionPrompt=" + IniValue(newest.prompt) + "\r\n";
    text += "Path=" + IniValue(newest.path) + "\r\n";
    return text;
}

} // namespace siteweb
