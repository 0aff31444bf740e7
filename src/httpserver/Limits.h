#pragma once

#include <chrono>
#include <cstddef>

namespace httpserver {

// Every limit holds against a hostile client; a breach answers the status
// named and closes the connection (every error closes it, so an unread body is
// never taken for the next request).
struct Limits {
    // Request line plus header block: 414 while the line is not complete, 431
    // after; more header fields than maxHeaderFields: 431.
    std::size_t maxHeaderBytes = 16 * 1024;
    std::size_t maxHeaderFields = 100;
    // From the connection's start (or a kept-alive request's first byte) to the
    // end of the headers, in total, however the bytes trickle in: 408.
    std::chrono::milliseconds headerTime{10000};
    // The whole body, in total: 408.
    std::chrono::milliseconds bodyTime{60000};
    // Keep-alive wait for the next request's first byte; then closed quietly.
    std::chrono::milliseconds idleTime{5000};
    // The whole answer; a client that does not read it is cut off.
    std::chrono::milliseconds writeTime{30000};
    // Decoded bytes, chunked or not: 413. A route may change it per request.
    std::size_t maxBodyBytes = 1024 * 1024;
    // All bodies held at once, from their first byte until the request is
    // dropped by its handler: 503 with Retry-After past it.
    std::size_t bodyBudgetBytes = 256u << 20;
    // In all (also capped by the open-file limit): past it a new connection
    // gets 503 and is closed.
    unsigned maxConnections = 1024;
    // Per IP address (TCP) or per uid (Unix socket).
    unsigned maxConnectionsPerClient = 64;
    unsigned ioThreads = 1;
};

} // namespace httpserver
