#pragma once

#include "httpserver/Reply.h"
#include "httpserver/Request.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

namespace httpserver {

// What to do once the request line and headers are in, before any body is read.
struct HeadDecision {
    std::optional<Response> answerNow;         // answered without reading the body
    std::optional<std::size_t> maxBodyBytes{}; // this request's body limit; unset: Limits'
    // The route's own state for this request (a count of requests in progress,
    // a rate-limit slot): held while the body is read, then handed on as
    // Request::routeState; dropped with the request if it is abandoned.
    std::shared_ptr<void> state;
};

struct Handlers {
    // On an I/O thread, must be quick: route, check the token, pick the body
    // limit. The request has no body yet.
    std::function<HeadDecision(const Request& head)> onHead;
    // On an I/O thread once the body is in: answer at once, or hand the Reply
    // to a worker (a job queue, a database pool).
    std::function<void(Request request, Reply reply)> onRequest;
};

} // namespace httpserver
