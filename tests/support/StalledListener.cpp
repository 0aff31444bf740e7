#include "StalledListener.h"

#include "LoopbackListen.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

// Starts a connection to port; true when it completed within waitMs.
bool Connects(int fd, uint16_t port, int waitMs) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
        return true;
    if (errno != EINPROGRESS)
        return false;
    pollfd p{fd, POLLOUT, 0};
    return ::poll(&p, 1, waitMs) == 1;
}

} // namespace

StalledListener::StalledListener() {
    listenFd_ = ListenOnLoopback(port_, 0);
    // The queue of a backlog of 0 holds one connection; a few more make sure.
    for (int i = 0; i < 8; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        fillers_.push_back(fd);
        if (!Connects(fd, port_, 200)) {
            stalls_ = true;
            break;
        }
    }
}

StalledListener::~StalledListener() {
    for (int fd : fillers_)
        ::close(fd);
    if (listenFd_ >= 0)
        ::close(listenFd_);
}
