#include "ConnectProxy.h"

#include "LoopbackListen.h"

#include <QList>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A socket connected to 127.0.0.1:port, or -1.
int ConnectLoopback(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

// The port of a CONNECT target naming this machine, or 0 for any other host.
uint16_t LoopbackPort(const QByteArray& target) {
    const qsizetype colon = target.lastIndexOf(':');
    if (colon <= 0)
        return 0;
    const QByteArray host = target.left(colon);
    if (host != "127.0.0.1" && host != "localhost" && host != "[::1]")
        return 0;
    bool ok = false;
    const uint port = target.mid(colon + 1).toUInt(&ok);
    return ok && port > 0 && port < 65536 ? static_cast<uint16_t>(port) : 0;
}

} // namespace

ConnectProxy::ConnectProxy() {
    listenFd_ = ListenOnLoopback(port_, 64);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

ConnectProxy::~ConnectProxy() {
    {
        std::lock_guard lk(m_);
        stopping_ = true;
        for (int fd : openFds_)
            ::shutdown(fd, SHUT_RDWR);
    }
    ::shutdown(listenFd_, SHUT_RDWR);
    acceptThread_.join();
    ::close(listenFd_);
    std::unique_lock lk(m_);
    cv_.wait(lk, [&] { return active_ == 0; });
}

QString ConnectProxy::url() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(port_);
}

void ConnectProxy::setTunnelHeaders(const std::vector<QByteArray>& lines) {
    std::lock_guard lk(m_);
    tunnelHeaders_ = lines;
}

void ConnectProxy::setRefusal(const QByteArray& answer) {
    std::lock_guard lk(m_);
    refusal_ = answer;
}

void ConnectProxy::queueRefusal(const QByteArray& answer) {
    std::lock_guard lk(m_);
    queued_.push_back(answer);
}

std::vector<QByteArray> ConnectProxy::heads() const {
    std::lock_guard lk(m_);
    return heads_;
}

size_t ConnectProxy::tunnelCount() const {
    std::lock_guard lk(m_);
    return tunnels_;
}

void ConnectProxy::track(int fd, bool add) {
    std::lock_guard lk(m_);
    if (add)
        openFds_.push_back(fd);
    else
        openFds_.erase(std::remove(openFds_.begin(), openFds_.end(), fd), openFds_.end());
}

void ConnectProxy::acceptLoop() {
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard lk(m_);
        if (fd < 0) {
            if (!stopping_ && (errno == EINTR || errno == ECONNABORTED))
                continue;
            return;
        }
        if (stopping_) {
            ::close(fd);
            return;
        }
        openFds_.push_back(fd);
        ++active_;
        std::thread([this, fd] { serve(fd); }).detach();
    }
}

void ConnectProxy::serve(int fd) {
    QByteArray buf;
    qsizetype end = -1;
    char chunk[16384];
    while ((end = buf.indexOf("\r\n\r\n")) < 0) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            break;
        buf.append(chunk, n);
    }
    if (end >= 0) {
        const QByteArray head = buf.left(end);
        const QList<QByteArray> words = head.left(head.indexOf("\r\n")).split(' ');
        QByteArray answer;
        QByteArray established = "HTTP/1.1 200 Connection established\r\n";
        {
            std::lock_guard lk(m_);
            heads_.push_back(head);
            if (!queued_.empty()) {
                answer = queued_.front();
                queued_.pop_front();
            } else {
                answer = refusal_;
            }
            for (const QByteArray& line : tunnelHeaders_)
                established += line + "\r\n";
        }
        const uint16_t port = words.value(0) == "CONNECT" ? LoopbackPort(words.value(1)) : 0;
        if (answer.isEmpty() && port == 0)
            answer = "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        const int target = answer.isEmpty() ? ConnectLoopback(port) : -1;
        if (answer.isEmpty() && target < 0)
            answer = "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        if (!answer.isEmpty()) {
            SendAll(fd, answer.constData(), answer.size());
            ::shutdown(fd, SHUT_WR);
        } else {
            {
                std::lock_guard lk(m_);
                ++tunnels_;
            }
            established += "\r\n";
            if (SendAll(fd, established.constData(), established.size()))
                relay(fd, target, buf.mid(end + 4));
            ::close(target);
        }
    }
    std::lock_guard lk(m_);
    openFds_.erase(std::remove(openFds_.begin(), openFds_.end(), fd), openFds_.end());
    ::close(fd);
    --active_;
    cv_.notify_all();
}

// Copies bytes both ways until both sides have finished sending.
void ConnectProxy::relay(int client, int target, QByteArray early) {
    track(target, true);
    bool clientOpen = SendAll(target, early.constData(), early.size());
    bool targetOpen = true;
    char chunk[65536];
    while (clientOpen || targetOpen) {
        pollfd p[2] = {{client, static_cast<short>(clientOpen ? POLLIN : 0), 0},
                       {target, static_cast<short>(targetOpen ? POLLIN : 0), 0}};
        if (::poll(p, 2, -1) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const int from = i == 0 ? client : target, to = i == 0 ? target : client;
            bool& open = i == 0 ? clientOpen : targetOpen;
            const ssize_t n = ::recv(from, chunk, sizeof chunk, 0);
            if (n > 0 && SendAll(to, chunk, n))
                continue;
            if (n < 0 && errno == EINTR)
                continue;
            open = false;
            ::shutdown(to, SHUT_WR);
        }
    }
    track(target, false);
}
