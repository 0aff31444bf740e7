#include "engineclient/EngineProbe.h"

#include "base/PrivateFolder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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

int LeftMs(const QElapsedTimer& timer, int timeoutMs) {
    return timeoutMs - static_cast<int>(timer.elapsed());
}

bool WaitFor(int fd, short events, const QElapsedTimer& timer, int timeoutMs) {
    int ready = 0;
    do {
        const int left = LeftMs(timer, timeoutMs);
        if (left <= 0)
            return false;
        pollfd p{fd, events, 0};
        ready = ::poll(&p, 1, left);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

// The socket file and the folder it lives in are this user's alone: nobody
// else can have bound it or swap it for another.
bool OwnSocketFile(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash <= 0 || path.size() > qsizetype(kMaxSocketPathLength) ||
        !IsPrivateFolder(path.left(slash).toStdString()))
        return false;
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0 && S_ISSOCK(info.st_mode) &&
           info.st_uid == ::geteuid();
}

bool ConnectUnix(int fd, const QByteArray& path, const QElapsedTimer& timer, int timeoutMs) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    // A full backlog refuses at once on a Unix socket: try again until the time is up.
    while (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if ((errno != EAGAIN && errno != EINTR) || LeftMs(timer, timeoutMs) <= 0)
            return false;
        QThread::msleep(10);
    }
    return true;
}

bool PeerIsEngine(int fd, qint64 pid) {
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           peer.uid == ::geteuid() && pid > 0 && peer.pid == pid;
}

} // namespace

bool EngineAnswers(const FoundEngine& engine, int timeoutMs) {
    const QUrl url(engine.baseUrl);
    const QByteArray path = QFile::encodeName(engine.socketPath);
    if (url.scheme() != QLatin1String("http") || url.path().size() < 2 || !OwnSocketFile(path))
        return false;
    QElapsedTimer timer;
    timer.start();
    Socket socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socket.fd() < 0 || !ConnectUnix(socket.fd(), path, timer, timeoutMs) ||
        !PeerIsEngine(socket.fd(), engine.pid))
        return false;
    const QByteArray request = "GET " + url.path(QUrl::FullyEncoded).toLatin1() +
                               " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n";
    if (!WaitFor(socket.fd(), POLLOUT, timer, timeoutMs) ||
        ::send(socket.fd(), request.constData(), request.size(), MSG_NOSIGNAL) != request.size())
        return false;
    QByteArray answer;
    char buffer[1024];
    while (answer.size() < 4096 && WaitFor(socket.fd(), POLLIN, timer, timeoutMs)) {
        const ssize_t got = ::recv(socket.fd(), buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        answer.append(buffer, got);
        if (answer.contains(kSignature))
            break;
    }
    return answer.startsWith("HTTP/1.1 200") && answer.contains(kSignature);
}
