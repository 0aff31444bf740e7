#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace siteweb {

// "2024-05-06T07:08:09Z" for milliseconds since the epoch.
std::string FormatUtc(std::int64_t ms);
// "2024-05-06" for the day of those milliseconds, UTC.
std::string FormatUtcDay(std::int64_t ms);
// "YYYY-MM-DD" (midnight) or "YYYY-MM-DD HH:MM[:SS]" (also with "T" and a
// trailing "Z"), read as UTC. False for anything else or an impossible date.
bool ParseUtc(std::string_view text, std::int64_t& ms);

std::int64_t NowMs();

} // namespace siteweb
