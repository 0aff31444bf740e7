#include "httpserver/Server.h"

#include "httpserver/Listener.h"

#include <algorithm>
#include <atomic>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace httpserver {

namespace asio = boost::asio;

namespace {

// Connections beyond the open-file limit would fail to be accepted rather
// than be refused with an answer; keep some descriptors for everything else.
Limits Clamped(Limits limits) {
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY) {
        const rlim_t spare = 64;
        const rlim_t usable =
            files.rlim_cur > 2 * spare ? files.rlim_cur - spare : files.rlim_cur / 2;
        limits.maxConnections =
            static_cast<unsigned>(std::min<rlim_t>(limits.maxConnections, usable));
    }
    limits.ioThreads = std::max(1u, limits.ioThreads);
    limits.maxHeaderBytes = std::max<std::size_t>(limits.maxHeaderBytes, 64);
    return limits;
}

} // namespace

class Server::Impl {
public:
    Impl(Limits limits, Handlers handlers)
        : context(static_cast<int>(limits.ioThreads)),
          shared(std::make_shared<detail::ServerShared>(limits, std::move(handlers))) {}

    asio::io_context context;
    std::shared_ptr<detail::ServerShared> shared;
    std::vector<std::unique_ptr<detail::Listener>> listeners;
    std::optional<asio::signal_set> signals;
    std::atomic<bool> stopped{false};
};

Server::Server(Limits limits, Handlers handlers)
    : impl_(std::make_unique<Impl>(Clamped(limits), std::move(handlers))) {}

Server::~Server() {
    {
        // From here on a late Reply posts nothing into the context going away.
        std::lock_guard lock(impl_->shared->gateMutex);
        impl_->shared->gateOpen = false;
    }
    Stop();
    impl_->signals.reset();
    impl_->listeners.clear();
}

bool Server::Listen(const ListenAddress& where, std::string& error) {
    auto listener = std::make_unique<detail::Listener>(impl_->context, impl_->shared);
    if (!listener->Bind(where, error))
        return false;
    impl_->listeners.push_back(std::move(listener));
    return true;
}

int Server::Port(std::size_t listener) const {
    return listener < impl_->listeners.size() ? impl_->listeners[listener]->Port() : -1;
}

void Server::Run() {
    if (impl_->stopped)
        return;
    auto work = asio::make_work_guard(impl_->context);
    for (const auto& listener : impl_->listeners)
        listener->Start();
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < impl_->shared->limits.ioThreads; ++i)
        threads.emplace_back([this] { impl_->context.run(); });
    impl_->context.run();
    for (std::thread& thread : threads)
        thread.join();
    for (const auto& listener : impl_->listeners)
        listener->Close();
}

void Server::Stop() {
    impl_->stopped = true;
    impl_->context.stop();
}

void Server::StopOnSignals(std::initializer_list<int> signalNumbers) {
    impl_->signals.emplace(impl_->context);
    for (const int signal : signalNumbers)
        impl_->signals->add(signal);
    impl_->signals->async_wait([this](const boost::system::error_code& ec, int) {
        if (!ec)
            Stop();
    });
}

std::size_t Server::OpenConnections() const {
    return impl_->shared->counter->Open();
}

} // namespace httpserver
