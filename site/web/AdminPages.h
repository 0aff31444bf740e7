#pragma once

#include "sitestore/Records.h"

#include <string>
#include <vector>

namespace siteweb {

inline constexpr int kAdminPageSize = 50;

struct AdminListView {
    std::vector<sitestore::Feedback> rows; // newest first
    std::string search;
    int page = 1;
    bool hasNext = false;
    std::string csrf; // goes with every form that changes something
};

// The admin pages, UTF-8 HTML5 in Chinese.
std::string AdminLoginHtml(bool failed);
std::string AdminListHtml(const AdminListView& view);
// "/admin/?q=...&page=N" (parts left out when empty or 1).
std::string AdminListAddress(const std::string& search, int page);

} // namespace siteweb
