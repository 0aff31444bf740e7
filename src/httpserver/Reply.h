#pragma once

#include "httpserver/Response.h"

#include <memory>

namespace httpserver {

namespace detail {
// Where a Reply's answer goes; implemented by the connection.
class ReplySink {
public:
    virtual ~ReplySink() = default;
    virtual void Send(Response response) = 0;
};
} // namespace detail

// Answers one request, from any thread, exactly once; destroying it unsent
// answers 500. Safe to call after the client went away or the server stopped.
class Reply {
public:
    Reply() = default;
    explicit Reply(std::unique_ptr<detail::ReplySink> sink);
    Reply(Reply&&) noexcept = default;
    Reply& operator=(Reply&& other) noexcept;
    ~Reply();

    void operator()(Response response);
    // True until answered (or moved from).
    explicit operator bool() const { return sink_ != nullptr; }

private:
    std::unique_ptr<detail::ReplySink> sink_;
};

} // namespace httpserver
