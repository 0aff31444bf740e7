#pragma once

#include "sitestore/Records.h"

#include <string>
#include <string_view>
#include <vector>

namespace siteweb {

// Digits separated by dots ("8", "8.1", "10.0.2"), at most 32 characters.
bool IsVersion(std::string_view text);
// Orders versions by their numbers, part by part ("8.10" after "8.9"); equal
// numbers ("8.1", "8.1.0") order by length.
int CompareVersions(std::string_view a, std::string_view b);
// The highest version of the list, or null for none.
const sitestore::Release* NewestRelease(const std::vector<sitestore::Release>& releases);

// Checks what the maker gives for a new release (and turns CR LF in the notes
// into LF). The version file must read back exactly: the path is an http or
// https address, the prompt one line, each at most 2047 bytes of UTF-8.
bool CheckRelease(sitestore::Release& release, std::string& error);

bool IsUtf8(std::string_view text);

} // namespace siteweb
