#include "httpserver/ResponseHead.h"

#include "httpserver/Request.h"

#include <boost/beast/http/status.hpp>
#include <string_view>

namespace httpserver {

namespace {

bool IsToken(std::string_view text) {
    if (text.empty())
        return false;
    for (const char c : text) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') ||
                        std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
        if (!ok)
            return false;
    }
    return true;
}

bool IsFieldValue(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

} // namespace

bool Sendable(const Response& response) {
    if (response.status < 100 || response.status > 999 || !IsFieldValue(response.contentType))
        return false;
    for (const auto& [name, value] : response.headers)
        if (!IsToken(name) || !IsFieldValue(value) || EqualsIgnoringCase(name, "Content-Length") ||
            EqualsIgnoringCase(name, "Transfer-Encoding") || EqualsIgnoringCase(name, "Connection"))
            return false;
    return true;
}

std::string ResponseHead(const Response& response, bool close) {
    namespace http = boost::beast::http;
    std::string_view reason = http::obsolete_reason(static_cast<http::status>(response.status));
    if (reason.empty() || reason.front() == '<')
        reason = "Status";
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " ";
    head += reason;
    head += "\r\n";
    // A 304 has no body: a length of 0 would misstate the entity it stands for.
    if (response.status >= 200 && response.status != 204 && response.status != 304) {
        if (!response.contentType.empty())
            head += "Content-Type: " + response.contentType + "\r\n";
        head += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    }
    for (const auto& [name, value] : response.headers)
        head.append(name).append(": ").append(value).append("\r\n");
    if (close)
        head += "Connection: close\r\n";
    head += "\r\n";
    return head;
}

} // namespace httpserver
