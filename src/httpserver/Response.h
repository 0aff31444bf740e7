#pragma once

#include <string>
#include <utility>
#include <vector>

namespace httpserver {

struct Response {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    // Content-Length, Transfer-Encoding and Connection are the server's own:
    // an answer that sets them, or puts a line break in a value, becomes 500.
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;   // Content-Length is always sent (none for 1xx and 204)
    bool close = false; // also done for every status >= 400

    // line + "\n" as text/plain.
    static Response Text(int status, std::string line);
};

} // namespace httpserver
