#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sitestore {

// One published version of the program. Times are milliseconds since the epoch, UTC.
struct Release {
    std::int64_t id = 0;
    std::string version; // digits and dots, e.g. "8.1"
    std::string path;    // the download address the version file names
    std::string prompt;  // the question the update dialog shows; empty: its own
    std::string notes;   // what changed, for the product page
    std::int64_t publishedMs = 0;
};

// One message sent with the program's feedback form, as the user typed it.
struct Feedback {
    std::int64_t id = 0;
    std::int64_t receivedMs = 0;
    std::string address; // the client's IP address
    std::string contact;
    std::string text;
    std::string installation;
    std::string clientTime; // the sender's clock, as sent ("2024-05-06 07:08")
    std::string product;
    std::optional<std::int64_t> answeredMs;
};

struct FeedbackQuery {
    std::int64_t sinceMs = 0; // received at or after
    std::string search;       // a piece of the text, contact, address or installation
    bool newestFirst = false;
    int limit = 0; // 0: all
    int offset = 0;
};

// Posts from one address: at most perMinute in any 60 seconds and perDay in
// any 24 hours (0: no limit).
struct RateLimit {
    int perMinute = 5;
    int perDay = 50;
};

enum class InsertOutcome { Stored, RateLimited };

} // namespace sitestore
