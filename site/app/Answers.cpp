#include "Answers.h"

#include "siteweb/FeedbackReply.h"

namespace site {

httpserver::Response HtmlPage(int status, std::string html) {
    httpserver::Response r;
    r.status = status;
    r.contentType = "text/html; charset=utf-8";
    r.body = std::move(html);
    r.headers = {{"Cache-Control", "no-store"},
                 {"Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'; "
                                             "form-action 'self'; frame-ancestors 'none'"},
                 {"X-Content-Type-Options", "nosniff"},
                 {"Referrer-Policy", "no-referrer"}};
    return r;
}

httpserver::Response FeedbackPage(int status, std::string gbkPage) {
    httpserver::Response r;
    r.status = status;
    r.contentType = std::string(siteweb::kReplyContentType);
    r.body = std::move(gbkPage);
    r.headers = {{"Cache-Control", "no-store"}};
    return r;
}

httpserver::Response SeeOther(std::string location) {
    httpserver::Response r;
    r.status = 303;
    r.headers = {{"Location", std::move(location)}, {"Cache-Control", "no-store"}};
    return r;
}

httpserver::Response NotAllowed(std::string_view allow) {
    httpserver::Response r = httpserver::Response::Text(405, "method not allowed");
    r.headers.emplace_back("Allow", std::string(allow));
    return r;
}

httpserver::Response NotFound() {
    return httpserver::Response::Text(404, "not found");
}

std::vector<std::string> ForwardedFor(const httpserver::Request& request) {
    std::vector<std::string> lines;
    for (const auto& [name, value] : request.headers)
        if (httpserver::EqualsIgnoringCase(name, "X-Forwarded-For"))
            lines.push_back(value);
    return lines;
}

bool MatchesEtag(std::string_view ifNoneMatch, std::string_view etag) {
    while (!ifNoneMatch.empty()) {
        const std::size_t comma = ifNoneMatch.find(',');
        std::string_view tag = ifNoneMatch.substr(0, comma);
        ifNoneMatch =
            comma == std::string_view::npos ? std::string_view() : ifNoneMatch.substr(comma + 1);
        while (!tag.empty() && tag.front() == ' ')
            tag.remove_prefix(1);
        while (!tag.empty() && tag.back() == ' ')
            tag.remove_suffix(1);
        // A weak comparison, as If-None-Match asks.
        if (tag.substr(0, 2) == "W/")
            tag.remove_prefix(2);
        if (tag == "*" || tag == etag)
            return true;
    }
    return false;
}

} // namespace site
