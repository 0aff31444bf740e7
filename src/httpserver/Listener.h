#pragma once

// Internal to the library: includes Asio.
#include "httpserver/Connection.h"
#include "httpserver/ListenAddress.h"
#include "httpserver/UnixSocketFile.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/local/stream_protocol.hpp>
#include <boost/asio/steady_timer.hpp>
#include <memory>
#include <optional>
#include <string>

namespace httpserver::detail {

// One listening socket, TCP or Unix: accepts, identifies the peer, admits it
// under the connection limits and starts its connection.
class Listener {
public:
    Listener(boost::asio::io_context& context, std::shared_ptr<ServerShared> shared);
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    bool Bind(const ListenAddress& where, std::string& error);
    int Port() const { return port_; }
    void Start();
    // Only while no thread runs the context: stops accepting and removes the
    // Unix socket's file.
    void Close();

private:
    void AcceptTcp();
    void AcceptUnix();
    // Accepting failed for want of descriptors or memory: try again shortly
    // instead of spinning.
    bool RetryLater(const boost::system::error_code& ec, void (Listener::*accept)());
    void Admit(Socket socket, Peer peer);

    boost::asio::io_context& context_;
    const std::shared_ptr<ServerShared> shared_;
    std::optional<boost::asio::ip::tcp::acceptor> tcp_;
    std::optional<boost::asio::local::stream_protocol::acceptor> unix_;
    bool ownUidOnly_ = true;
    UnixSocketFile file_;
    boost::asio::steady_timer retry_;
    int port_ = -1;
};

} // namespace httpserver::detail
