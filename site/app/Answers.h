#pragma once

#include "httpserver/Request.h"
#include "httpserver/Response.h"

#include <string>
#include <string_view>
#include <vector>

namespace site {

// A page of ours in UTF-8 HTML, with headers that keep it out of frames and
// caches and let it load nothing from elsewhere.
httpserver::Response HtmlPage(int status, std::string html);
// The feedback form's answer page (GBK, marker or reason).
httpserver::Response FeedbackPage(int status, std::string gbkPage);
httpserver::Response SeeOther(std::string location);
httpserver::Response NotAllowed(std::string_view allow);
httpserver::Response NotFound();

// Every X-Forwarded-For line of a request, in order.
std::vector<std::string> ForwardedFor(const httpserver::Request& request);
// True when the If-None-Match header names this entity tag (or "*").
bool MatchesEtag(std::string_view ifNoneMatch, std::string_view etag);

} // namespace site
