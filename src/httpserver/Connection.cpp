#include "httpserver/Connection.h"

#include "httpserver/ResponseHead.h"

#include <algorithm>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/http/error.hpp>
#include <limits>

namespace httpserver::detail {

namespace asio = boost::asio;
namespace http = boost::beast::http;
using boost::system::error_code;
using namespace std::chrono_literals;

namespace {

// After an error answer the client may still be sending; reading it away for
// a moment lets the answer arrive instead of a reset. Bounded in bytes too: a
// client that keeps sending gets a reset, not an I/O thread that keeps reading.
constexpr auto kLingerTime = 2s;
constexpr std::size_t kLingerBytes = 1u << 20;
constexpr std::size_t kFirstChunkedRoom = 16 * 1024;
constexpr std::size_t kReadSize = 64 * 1024;
constexpr std::size_t kDrainSize = 64 * 1024;

class ConnectionSink final : public ReplySink {
public:
    ConnectionSink(std::shared_ptr<ServerShared> shared, std::weak_ptr<Connection> connection,
                   std::uint64_t id)
        : shared_(std::move(shared)), connection_(std::move(connection)), id_(id) {}

    void Send(Response response) override {
        std::lock_guard lock(shared_->gateMutex);
        if (!shared_->gateOpen)
            return;
        if (std::shared_ptr<Connection> connection = connection_.lock())
            asio::post(connection->Executor(),
                       [connection, id = id_, response = std::move(response)]() mutable {
                           connection->Deliver(id, std::move(response));
                       });
    }

private:
    std::shared_ptr<ServerShared> shared_;
    std::weak_ptr<Connection> connection_;
    std::uint64_t id_;
};

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

void SplitTarget(Request& request) {
    const std::size_t mark = request.target.find('?');
    request.path = request.target.substr(0, mark);
    request.query = mark == std::string::npos ? std::string() : request.target.substr(mark + 1);
}

bool MethodNeedsLength(std::string_view method) {
    return method == "POST" || method == "PUT" || method == "PATCH";
}

} // namespace

Connection::Connection(Socket socket, Peer peer, std::shared_ptr<ServerShared> shared,
                       std::optional<ConnectionCounter::Slot> slot)
    : socket_(std::move(socket)), timer_(socket_.get_executor()), peer_(std::move(peer)),
      shared_(std::move(shared)), slot_(std::move(slot)) {}

void Connection::Start() {
    asio::dispatch(socket_.get_executor(), [self = shared_from_this()] {
        if (!self->slot_) {
            Response busy = Response::Text(503, "too many connections, try again");
            busy.headers.emplace_back("Retry-After", "1");
            self->Write(std::move(busy), true);
            return;
        }
        self->BeginRequest(true);
    });
}

// A head never needs more than its limit; a body reads in larger steps.
std::size_t Connection::BufferCap() const {
    const std::size_t head = shared_->limits.maxHeaderBytes + 1;
    return phase_ == Phase::Body ? std::max(head, kReadSize) : head;
}

void Connection::BeginRequest(bool fresh) {
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(
        std::min<std::size_t>(shared_->limits.maxHeaderBytes, UINT32_MAX)));
    // The body's limit is set once the route has picked it. (Not boost::none:
    // this Beast compares a length against an empty limit as exceeding it.)
    parser_->body_limit(std::numeric_limits<std::uint64_t>::max());
    headBytes_ = 0;
    request_ = Request();
    request_.peerAddress = peer_.address;
    request_.peerUid = peer_.uid;
    lease_.reset();
    // A new connection's wait for its first byte is part of its header time; a
    // kept-alive one waits idle and starts its header time with the first byte.
    phase_ = fresh || buffer_.size() > 0 ? Phase::Head : Phase::Idle;
    Arm(phase_ == Phase::Head ? shared_->limits.headerTime : shared_->limits.idleTime);
    if (buffer_.size() > 0)
        ParseHead();
    else
        ReadSome();
}

void Connection::ReadSome() {
    const std::size_t room = BufferCap() - std::min(BufferCap(), buffer_.size());
    if (room == 0) {
        if (phase_ == Phase::Body)
            Fail(400, "chunk line or trailer too long");
        else
            FailHeadTooLarge();
        return;
    }
    socket_.async_read_some(
        buffer_.prepare(std::min(room, kReadSize)),
        [self = shared_from_this()](error_code ec, std::size_t bytes) { self->OnRead(ec, bytes); });
}

void Connection::OnRead(error_code ec, std::size_t bytes) {
    if (phase_ != Phase::Idle && phase_ != Phase::Head && phase_ != Phase::Body)
        return; // cancelled by a deadline or an error answer
    if (ec) {
        // The client went away or broke the connection: nobody to answer.
        Close();
        return;
    }
    buffer_.commit(bytes);
    if (phase_ == Phase::Idle) {
        phase_ = Phase::Head;
        Arm(shared_->limits.headerTime);
    }
    if (phase_ == Phase::Head)
        ParseHead();
    else
        ParseBody();
}

void Connection::ParseHead() {
    error_code ec;
    const std::size_t used = parser_->put(buffer_.data(), ec);
    buffer_.consume(used);
    headBytes_ += used;
    const std::size_t limit = shared_->limits.maxHeaderBytes;
    if (ec == http::error::header_limit || headBytes_ > limit ||
        (ec == http::error::need_more && headBytes_ + buffer_.size() >= limit)) {
        FailHeadTooLarge();
        return;
    }
    if (ec == http::error::need_more) {
        ReadSome();
        return;
    }
    if (ec) {
        Fail(400, "malformed request: " + ec.message());
        return;
    }
    OnHeadDone();
}

void Connection::FailHeadTooLarge() {
    // The parser may hold back a complete line until the whole head is in.
    const auto data = buffer_.data();
    const std::string_view pending(static_cast<const char*>(data.data()), data.size());
    if (headBytes_ > 0 || pending.find('\n') != std::string_view::npos)
        Fail(431, "request head too large");
    else
        Fail(414, "request line too long");
}

void Connection::OnHeadDone() {
    const auto& message = parser_->get();
    request_.method = std::string(message.method_string());
    request_.target = std::string(message.target());
    SplitTarget(request_);
    std::size_t fields = 0;
    int transferCodings = 0;
    bool onlyChunked = true;
    for (const auto& field : message) {
        ++fields;
        request_.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
        if (field.name() == http::field::transfer_encoding) {
            ++transferCodings;
            onlyChunked = onlyChunked && EqualsIgnoringCase(Trim(field.value()), "chunked");
        }
    }
    keepAlive_ = parser_->keep_alive();
    headRequest_ = request_.method == "HEAD";
    if (fields > shared_->limits.maxHeaderFields)
        return Fail(431, "too many header fields");
    if (transferCodings > 1 || !onlyChunked)
        return Fail(501, "only the chunked transfer coding is accepted");
    for (const auto& [name, value] : request_.headers)
        if (EqualsIgnoringCase(name, "Content-Encoding") && !Trim(value).empty() &&
            !EqualsIgnoringCase(Trim(value), "identity"))
            return Fail(415, "compressed bodies are not accepted");
    const std::string_view expect = Trim(request_.Header("Expect"));
    if (!expect.empty() && !EqualsIgnoringCase(expect, "100-continue"))
        return Fail(417, "unknown expectation");

    const boost::optional<std::uint64_t> length = parser_->content_length();
    const bool hasBody = parser_->chunked() || (length && *length > 0);
    if (!parser_->chunked() && !length && MethodNeedsLength(request_.method))
        return Fail(411, "a body needs a Content-Length or chunked coding");

    HeadDecision decision;
    try {
        if (shared_->handlers.onHead)
            decision = shared_->handlers.onHead(request_);
    } catch (...) {
        return Fail(500, "internal error");
    }
    if (decision.answerNow) {
        // An unread body would be taken for the next request: close after it.
        Write(std::move(*decision.answerNow), hasBody);
        return;
    }
    request_.routeState = std::move(decision.state);
    const std::size_t limit = decision.maxBodyBytes.value_or(shared_->limits.maxBodyBytes);
    if (length && *length > limit)
        return Fail(413, "body too large");
    lease_ = shared_->budget->Open();
    if (length && !lease_->GrowTo(static_cast<std::size_t>(*length)))
        return Fail(503, "busy, try again");
    if (!hasBody) {
        Dispatch();
        return;
    }
    bodyLimit_ = limit;
    parser_->body_limit(limit);
    parser_->eager(true);
    StartBody(!expect.empty());
}

void Connection::StartBody(bool expectContinue) {
    phase_ = Phase::Body;
    Arm(shared_->limits.bodyTime);
    if (!expectContinue || buffer_.size() > 0) {
        ParseBody();
        return;
    }
    static constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
    asio::async_write(socket_, asio::buffer(kContinue.data(), kContinue.size()),
                      [self = shared_from_this()](error_code ec, std::size_t) {
                          if (self->phase_ != Phase::Body)
                              return;
                          if (ec)
                              self->Close();
                          else
                              self->ParseBody();
                      });
}

void Connection::ParseBody() {
    while (buffer_.size() > 0 && !parser_->is_done()) {
        // A chunked body grows as it arrives: its room doubles, never past its
        // limit, and the budget counts the room, not just the bytes.
        std::string& body = parser_->get().body();
        if (parser_->chunked() && body.size() + buffer_.size() > body.capacity()) {
            const std::size_t room = std::min(
                bodyLimit_,
                std::max({body.capacity() * 2, body.size() + buffer_.size(), kFirstChunkedRoom}));
            if (!lease_->GrowTo(room))
                return Fail(503, "busy, try again");
            body.reserve(room);
        }
        error_code ec;
        const std::size_t used = parser_->put(buffer_.data(), ec);
        buffer_.consume(used);
        if (ec == http::error::body_limit)
            return Fail(413, "body too large");
        if (ec && ec != http::error::need_more)
            return Fail(400, "malformed body: " + ec.message());
        if (ec || used == 0)
            break;
    }
    if (parser_->is_done())
        Dispatch();
    else if (buffer_.size() > shared_->limits.maxHeaderBytes)
        Fail(400, "chunk line or trailer too long"); // what the parser holds back
    else
        ReadSome();
}

void Connection::Dispatch() {
    phase_ = Phase::Handler;
    Hold();
    request_.body = std::move(parser_->get().body());
    request_.budgetShare = std::move(lease_);
    ++requestId_;
    Reply reply(std::make_unique<ConnectionSink>(shared_, weak_from_this(), requestId_));
    try {
        if (shared_->handlers.onRequest)
            shared_->handlers.onRequest(std::move(request_), std::move(reply));
    } catch (...) {
        // The Reply went down with the handler and answers 500 itself.
    }
}

void Connection::Deliver(std::uint64_t id, Response response) {
    if (phase_ != Phase::Handler || id != requestId_)
        return;
    Write(std::move(response), false);
}

void Connection::Fail(int status, std::string text) {
    request_.routeState.reset();
    error_code ignored;
    socket_.cancel(ignored);
    Response response = Response::Text(status, std::move(text));
    if (status == 503)
        response.headers.emplace_back("Retry-After", "1");
    Write(std::move(response), true);
}

void Connection::Write(Response response, bool close) {
    if (!Sendable(response))
        response = Response::Text(500, "internal error: an answer that cannot be sent");
    closeAfterWrite_ = close || response.close || response.status >= 400 || !keepAlive_;
    outHead_ = ResponseHead(response, closeAfterWrite_);
    outBody_ = headRequest_ ? std::string() : std::move(response.body);
    phase_ = Phase::Write;
    Arm(shared_->limits.writeTime);
    const std::array<asio::const_buffer, 2> buffers = {asio::buffer(outHead_),
                                                       asio::buffer(outBody_)};
    asio::async_write(socket_, buffers, [self = shared_from_this()](error_code ec, std::size_t) {
        self->OnWritten(ec);
    });
}

void Connection::OnWritten(error_code ec) {
    if (phase_ != Phase::Write)
        return;
    outHead_.clear();
    outBody_.clear();
    outBody_.shrink_to_fit();
    if (ec)
        Close();
    else if (closeAfterWrite_)
        Linger();
    else
        BeginRequest(false);
}

void Connection::Linger() {
    phase_ = Phase::Linger;
    parser_.reset();
    buffer_ = {};
    error_code ignored;
    socket_.shutdown(Socket::shutdown_send, ignored);
    Arm(std::chrono::duration_cast<std::chrono::milliseconds>(kLingerTime));
    Drain();
}

void Connection::Drain() {
    if (!drainBuffer_)
        drainBuffer_ = std::make_unique<char[]>(kDrainSize);
    socket_.async_read_some(asio::buffer(drainBuffer_.get(), kDrainSize),
                            [self = shared_from_this()](error_code ec, std::size_t bytes) {
                                if (self->phase_ != Phase::Linger)
                                    return;
                                self->drained_ += bytes;
                                if (ec || self->drained_ > kLingerBytes)
                                    self->Close();
                                else
                                    self->Drain();
                            });
}

void Connection::Close() {
    phase_ = Phase::Closed;
    Disarm();
    error_code ignored;
    socket_.close(ignored);
    parser_.reset();
    buffer_ = {};
    lease_.reset();
    request_ = Request();
    drainBuffer_.reset();
}

void Connection::Arm(std::chrono::milliseconds after) {
    const std::uint64_t generation = ++timerGeneration_;
    timer_.expires_after(after);
    timer_.async_wait([self = shared_from_this(), generation](error_code ec) {
        if (!ec && generation == self->timerGeneration_)
            self->OnDeadline();
    });
}

void Connection::Hold() {
    // A wait that never ends keeps the connection alive inside the I/O context
    // while a handler has its Reply; the context's end frees it.
    ++timerGeneration_;
    timer_.expires_at(std::chrono::steady_clock::time_point::max());
    timer_.async_wait([self = shared_from_this()](error_code) {});
}

void Connection::Disarm() {
    ++timerGeneration_;
    timer_.cancel();
}

void Connection::OnDeadline() {
    switch (phase_) {
    case Phase::Head:
    case Phase::Body:
        Fail(408, "request took too long");
        break;
    case Phase::Idle:
    case Phase::Write:
    case Phase::Linger:
        Close();
        break;
    case Phase::Handler:
    case Phase::Closed:
        break;
    }
}

} // namespace httpserver::detail
