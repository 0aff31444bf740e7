#pragma once

#include <cstdint>
#include <vector>

// A loopback port where a connection is never made: the listener's backlog is
// full and nobody accepts, so the kernel drops every further handshake and a
// client waits until its own connect limit. The host of a blocked network
// behaves so.
class StalledListener {
public:
    StalledListener();
    ~StalledListener();
    StalledListener(const StalledListener&) = delete;
    StalledListener& operator=(const StalledListener&) = delete;

    uint16_t Port() const { return port_; }
    // True when the backlog could be filled.
    bool Stalls() const { return stalls_; }

private:
    int listenFd_ = -1;
    uint16_t port_ = 0;
    bool stalls_ = false;
    std::vector<int> fillers_;
};
