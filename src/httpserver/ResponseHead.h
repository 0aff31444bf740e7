#pragma once

#include "httpserver/Response.h"

#include <string>

namespace httpserver {

// False for an answer whose head cannot go on the wire as it is: a status out
// of range, a header name that is no token, a line break in a value (it would
// let text taken from a request add headers of its own), or a header that
// frames the message, which only the server writes.
bool Sendable(const Response& response);

// Status line and headers, with Content-Length (none for 1xx and 204) and,
// when close is set, "Connection: close"; ends with the empty line.
std::string ResponseHead(const Response& response, bool close);

} // namespace httpserver
