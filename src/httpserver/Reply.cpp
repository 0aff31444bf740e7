#include "httpserver/Reply.h"

namespace httpserver {

Reply::Reply(std::unique_ptr<detail::ReplySink> sink) : sink_(std::move(sink)) {}

Reply& Reply::operator=(Reply&& other) noexcept {
    if (this != &other) {
        if (sink_)
            sink_->Send(Response::Text(500, "internal error: no answer"));
        sink_ = std::move(other.sink_);
    }
    return *this;
}

Reply::~Reply() {
    if (sink_)
        sink_->Send(Response::Text(500, "internal error: no answer"));
}

void Reply::operator()(Response response) {
    if (!sink_)
        return;
    // Released first: an answer that throws on its way must not be sent twice.
    const std::unique_ptr<detail::ReplySink> sink = std::move(sink_);
    sink->Send(std::move(response));
}

} // namespace httpserver
