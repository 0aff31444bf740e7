#include "engineclient/EngineProbe.h"

#include <QElapsedTimer>
#include <QUrl>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr char kSignature[] = "quillmate-server";

class Socket {
public:
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

bool WaitFor(int fd, short events, const QElapsedTimer& timer, int timeoutMs) {
    const int left = timeoutMs - static_cast<int>(timer.elapsed());
    if (left <= 0)
        return false;
    pollfd p{fd, events, 0};
    int ready;
    do
        ready = ::poll(&p, 1, left);
    while (ready < 0 && errno == EINTR);
    return ready > 0;
}

} // namespace

bool EngineAnswers(const QString& baseUrl, int timeoutMs) {
    const QUrl url(baseUrl);
    if (url.scheme() != QLatin1String("http") || url.port() <= 0 ||
        url.host() != QLatin1String("127.0.0.1"))
        return false;
    QElapsedTimer timer;
    timer.start();
    Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socket.fd() < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(url.port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket.fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS || !WaitFor(socket.fd(), POLLOUT, timer, timeoutMs))
            return false;
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
            return false;
    }
    const QByteArray request = "GET " + url.path(QUrl::FullyEncoded).toLatin1() +
                               " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    if (::send(socket.fd(), request.constData(), request.size(), MSG_NOSIGNAL) != request.size())
        return false;
    QByteArray answer;
    char buffer[1024];
    while (answer.size() < 4096 && WaitFor(socket.fd(), POLLIN, timer, timeoutMs)) {
        const ssize_t got = ::recv(socket.fd(), buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        answer.append(buffer, got);
        if (answer.contains(kSignature))
            break;
    }
    return answer.startsWith("HTTP/1.1 200") && answer.contains(kSignature);
}
