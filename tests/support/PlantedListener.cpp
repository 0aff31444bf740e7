#include "PlantedListener.h"

#include <QFile>
#include <arpa/inet.h>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

std::unique_ptr<PlantedListener> PlantedListener::OnUnixSocket(const QString& path, uid_t owner) {
    const QByteArray native = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (native.size() >= qsizetype(sizeof address.sun_path))
        return nullptr;
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0 || ::lchown(native.constData(), owner, gid_t(-1)) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<PlantedListener>(new PlantedListener(fd));
}

std::unique_ptr<PlantedListener> PlantedListener::OnTcpPort(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<PlantedListener>(new PlantedListener(fd));
}

PlantedListener::PlantedListener(int listenFd) : listenFd_(listenFd) {
    if (::pipe2(wake_, O_CLOEXEC) != 0)
        wake_[0] = wake_[1] = -1;
    thread_ = std::thread([this] { Run(); });
}

PlantedListener::~PlantedListener() {
    (void)!::write(wake_[1], "x", 1);
    thread_.join();
    for (int fd : peers_)
        ::close(fd);
    ::close(listenFd_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

QByteArray PlantedListener::Received() const {
    std::lock_guard lock(m_);
    return received_;
}

void PlantedListener::Run() {
    for (;;) {
        std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}};
        for (int fd : peers_)
            fds.push_back({fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0)
            continue;
        if (fds[0].revents)
            return;
        if (fds[1].revents & POLLIN) {
            const int peer = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (peer >= 0) {
                ++connections_;
                peers_.push_back(peer);
            }
        }
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buffer[4096];
            const ssize_t got = ::recv(fds[i].fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got > 0) {
                std::lock_guard lock(m_);
                received_.append(buffer, got);
            } else if (got == 0) {
                std::erase(peers_, fds[i].fd);
                ::close(fds[i].fd);
            }
        }
    }
}
