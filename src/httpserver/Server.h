#pragma once

#include "httpserver/Handlers.h"
#include "httpserver/Limits.h"
#include "httpserver/ListenAddress.h"

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>

namespace httpserver {

// An HTTP/1.1 server on asynchronous sockets: a slow client holds no thread,
// only its connection's small buffers, and every phase of a request has a
// deadline in total (see Limits).
class Server {
public:
    Server(Limits limits, Handlers handlers);
    ~Server(); // stops, joins, and removes the Unix sockets it made
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds (may be called for several addresses before Run); false with the reason.
    bool Listen(const ListenAddress& where, std::string& error);
    // TCP: the bound port of the listener-th Listen; -1 for a Unix socket.
    int Port(std::size_t listener = 0) const;
    // Serves on the calling thread plus ioThreads - 1 more, until Stop.
    void Run();
    // From any thread; a Run that has not started yet returns at once.
    void Stop();
    // Stops when one of these signals arrives (the safe way from a signal).
    void StopOnSignals(std::initializer_list<int> signalNumbers);
    std::size_t OpenConnections() const;

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace httpserver
