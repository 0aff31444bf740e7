#pragma once

#include "sitestore/Records.h"

#include <string>
#include <vector>

namespace siteweb {

// A JSON array of objects: id, received, address, contact, text,
// installation, client_time, product, answered (null when not answered).
std::string FeedbackJson(const std::vector<sitestore::Feedback>& rows);
std::string FeedbackJson(const sitestore::Feedback& row);

// CSV (RFC 4180, UTF-8, a header line, CR LF). A cell that a spreadsheet would
// run as a formula (starting with = + - @) gets a leading apostrophe: the
// texts come from strangers.
std::string FeedbackCsv(const std::vector<sitestore::Feedback>& rows);

// One message for reading in a terminal.
std::string FeedbackText(const sitestore::Feedback& row);

} // namespace siteweb
