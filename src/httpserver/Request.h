#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace httpserver {

struct Request {
    std::string method;
    std::string target; // as sent
    std::string path;   // target up to '?', not decoded
    std::string query;  // after '?', not decoded
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string peerAddress;      // "127.0.0.1", "::1", or "unix"
    std::optional<uid_t> peerUid; // Unix sockets (SO_PEERCRED)
    // The body's share of the server's body budget, given back when the last
    // copy of this request is gone: keep the request while its body is in use.
    std::shared_ptr<const void> budgetShare;
    // HeadDecision::state of this request.
    std::shared_ptr<void> routeState;

    // The first header of that name (case-insensitive), or empty.
    std::string_view Header(std::string_view name) const;
};

// ASCII case-insensitive comparison, as header names and tokens compare.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

} // namespace httpserver
