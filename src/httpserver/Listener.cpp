#include "httpserver/Listener.h"

#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace httpserver::detail {

namespace asio = boost::asio;
using boost::system::error_code;
using tcp = asio::ip::tcp;
using namespace std::chrono_literals;

Listener::Listener(asio::io_context& context, std::shared_ptr<ServerShared> shared)
    : context_(context), shared_(std::move(shared)), retry_(context) {}

Listener::~Listener() {
    Close();
}

bool Listener::Bind(const ListenAddress& where, std::string& error) {
    error_code ec;
    if (where.kind == ListenAddress::Kind::Unix) {
        if (!UnixSocketFile::Prepare(where.path, error))
            return false;
        asio::local::stream_protocol::acceptor acceptor(context_);
        acceptor.open(asio::local::stream_protocol(), ec);
        if (!ec) {
            // Made private from its first moment: no other user may connect in
            // the window before a chmod. (The umask is the process's own.)
            const mode_t previous = ::umask(0077);
            acceptor.bind(asio::local::stream_protocol::endpoint(where.path), ec);
            ::umask(previous);
        }
        if (!ec && ::chmod(where.path.c_str(), 0600) != 0)
            ec = error_code(errno, boost::system::system_category());
        if (!ec)
            file_.Adopt(where.path);
        if (!ec)
            acceptor.listen(asio::socket_base::max_listen_connections, ec);
        if (ec) {
            file_.Remove();
            error = "cannot listen on unix:" + where.path + ": " + ec.message();
            return false;
        }
        ownUidOnly_ = where.ownUidOnly;
        unix_.emplace(std::move(acceptor));
        return true;
    }

    const std::string name = where.host + ":" + std::to_string(where.port);
    tcp::endpoint endpoint;
    const asio::ip::address address = asio::ip::make_address(where.host, ec);
    if (!ec) {
        endpoint = tcp::endpoint(address, static_cast<unsigned short>(where.port));
    } else {
        tcp::resolver resolver(context_);
        const auto found =
            resolver.resolve(where.host, std::to_string(where.port), tcp::resolver::passive, ec);
        if (ec || found.empty()) {
            error = "cannot listen on " + name + ": unknown host";
            return false;
        }
        endpoint = found.begin()->endpoint();
    }
    tcp::acceptor acceptor(context_);
    acceptor.open(endpoint.protocol(), ec);
    if (!ec)
        acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec)
        acceptor.bind(endpoint, ec);
    if (!ec)
        acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        error = "cannot listen on " + name + ": " + ec.message();
        return false;
    }
    port_ = acceptor.local_endpoint(ec).port();
    tcp_.emplace(std::move(acceptor));
    return true;
}

void Listener::Start() {
    asio::post(context_, [this] {
        if (tcp_)
            AcceptTcp();
        if (unix_)
            AcceptUnix();
    });
}

void Listener::Close() {
    error_code ignored;
    if (tcp_)
        tcp_->close(ignored);
    if (unix_)
        unix_->close(ignored);
    retry_.cancel();
    file_.Remove();
}

bool Listener::RetryLater(const error_code& ec, void (Listener::*accept)()) {
    if (ec != asio::error::no_descriptors && ec != asio::error::no_memory &&
        ec != asio::error::no_buffer_space && ec.value() != ENFILE)
        return false;
    retry_.expires_after(100ms);
    retry_.async_wait([this, accept](error_code waited) {
        if (!waited)
            (this->*accept)();
    });
    return true;
}

void Listener::AcceptTcp() {
    tcp_->async_accept(asio::make_strand(context_), [this](error_code ec, auto socket) {
        if (ec == asio::error::operation_aborted || !tcp_->is_open())
            return;
        if (ec) {
            if (!RetryLater(ec, &Listener::AcceptTcp))
                AcceptTcp();
            return;
        }
        error_code ignored;
        const tcp::endpoint remote = socket.remote_endpoint(ignored);
        asio::ip::address address = remote.address();
        if (address.is_v6() && address.to_v6().is_v4_mapped())
            address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
        socket.set_option(tcp::no_delay(true), ignored);
        const std::string text = address.to_string();
        Admit(Socket(std::move(socket)), Peer{text, text, std::nullopt});
        AcceptTcp();
    });
}

void Listener::AcceptUnix() {
    unix_->async_accept(asio::make_strand(context_), [this](error_code ec, auto socket) {
        if (ec == asio::error::operation_aborted || !unix_->is_open())
            return;
        if (ec) {
            if (!RetryLater(ec, &Listener::AcceptUnix))
                AcceptUnix();
            return;
        }
        ucred credentials{};
        socklen_t size = sizeof credentials;
        const bool known =
            ::getsockopt(socket.native_handle(), SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0;
        if (!known || (ownUidOnly_ && credentials.uid != ::geteuid())) {
            // Hung up on before a byte is read or written.
            error_code ignored;
            socket.close(ignored);
        } else {
            Admit(Socket(std::move(socket)),
                  Peer{"unix", "uid:" + std::to_string(credentials.uid), credentials.uid});
        }
        AcceptUnix();
    });
}

void Listener::Admit(Socket socket, Peer peer) {
    std::optional<ConnectionCounter::Slot> slot = shared_->counter->TryAdmit(peer.client);
    std::make_shared<Connection>(std::move(socket), std::move(peer), shared_, std::move(slot))
        ->Start();
}

} // namespace httpserver::detail
