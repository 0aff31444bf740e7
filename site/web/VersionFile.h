#pragma once

#include "sitestore/Records.h"

#include <string>

namespace siteweb {

// The version file the update dialog downloads, UTF-8 with CR LF lines:
// section "information" with "version", "NewVersionPrompt" (only when the
// release has a prompt) and "Path". A value the dialog's profile reader would
// change (leading or trailing blanks or quotes) is quoted, so it reads back
// exactly.
std::string VersionFileText(const sitestore::Release& newest);

} // namespace siteweb
