#pragma once

// Internal to the library: includes Asio and Beast.
#include "httpserver/ServerShared.h"

#include <boost/asio/generic/stream_protocol.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace httpserver::detail {

using Socket = boost::asio::generic::stream_protocol::socket;

struct Peer {
    std::string address; // "127.0.0.1", "::1" or "unix"
    std::string client;  // the key the per-client limit counts
    std::optional<uid_t> uid;
};

// One client connection: reads requests one at a time, each phase under its
// deadline, hands each to the handlers and writes their answers. Any error
// answers, shuts the connection down and drains it briefly, so the client
// reads the answer instead of a reset.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(Socket socket, Peer peer, std::shared_ptr<ServerShared> shared,
               std::optional<ConnectionCounter::Slot> slot);
    // Serves requests, or, without a slot, answers 503 and closes.
    void Start();
    // On the connection's strand: the answer to request number id.
    void Deliver(std::uint64_t id, Response response);
    Socket::executor_type Executor() { return socket_.get_executor(); }

private:
    enum class Phase { Idle, Head, Body, Handler, Write, Linger, Closed };

    void BeginRequest(bool fresh);
    void ReadSome();
    void OnRead(boost::system::error_code ec, std::size_t bytes);
    void ParseHead();
    void FailHeadTooLarge();
    void OnHeadDone();
    void StartBody(bool expectContinue);
    void ParseBody();
    void Dispatch();
    void Fail(int status, std::string text);
    void Write(Response response, bool close);
    void OnWritten(boost::system::error_code ec);
    void Linger();
    void Drain();
    void Close();
    void Arm(std::chrono::milliseconds after);
    void Hold();
    void Disarm();
    void OnDeadline();
    std::size_t BufferCap() const;

    Socket socket_;
    boost::asio::steady_timer timer_;
    const Peer peer_;
    const std::shared_ptr<ServerShared> shared_;
    const std::optional<ConnectionCounter::Slot> slot_;

    Phase phase_ = Phase::Head;
    std::uint64_t timerGeneration_ = 0;
    boost::beast::flat_buffer buffer_;
    std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> parser_;
    std::size_t headBytes_ = 0;
    Request request_;
    std::shared_ptr<BodyBudget::Lease> lease_;
    std::size_t bodyLimit_ = 0;
    bool keepAlive_ = false;
    bool headRequest_ = false;
    std::uint64_t requestId_ = 0;
    std::string outHead_;
    std::string outBody_;
    bool closeAfterWrite_ = false;
    std::size_t drained_ = 0;
    std::unique_ptr<char[]> drainBuffer_; // only while lingering
};

} // namespace httpserver::detail
