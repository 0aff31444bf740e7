#pragma once

#include "sitestore/Records.h"

#include <string>
#include <vector>

namespace siteweb {

// The product page (/translation.htm): an HTML5 page in Chinese, UTF-8, made
// for phones as well: the newest version with its notes and download
// address, then the earlier ones.
std::string ProductPageHtml(const std::vector<sitestore::Release>& releases);

} // namespace siteweb
