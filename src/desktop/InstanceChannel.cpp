#include "desktop/InstanceChannel.h"

#include "base/FileLock.h"
#include "base/PrivateFolder.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr struct {
    InstanceRequest request;
    const char* word;
} kWords[] = {
    {InstanceRequest::Show, "--show"},
    {InstanceRequest::TranslateSelection, "--translate-selection"},
    {InstanceRequest::RecognizeRegion, "--recognize-region"},
};

constexpr std::size_t kLongestLine = 64;

long long NowMs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool Address(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// A connection to the window listening at path, or -1 with the reason in error.
int Connect(const std::string& path, int& error) {
    sockaddr_un address;
    error = ENOENT;
    if (!Address(path, address))
        return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    error = errno;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

// The whole line within deadlineMs, however slowly its bytes come.
bool ReadLineBefore(int fd, std::string& line, int deadlineMs) {
    line.clear();
    const long long end = NowMs() + deadlineMs;
    for (;;) {
        switch (ReadRequestLine(fd, line)) {
        case LineRead::Complete:
            return true;
        case LineRead::Failed:
            return false;
        case LineRead::Pending:
            break;
        }
        const long long left = end - NowMs();
        pollfd wait{fd, POLLIN, 0};
        if (left <= 0 || (::poll(&wait, 1, static_cast<int>(left)) < 0 && errno != EINTR))
            return false;
    }
}

bool WriteAll(int fd, const std::string& text) {
    return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == ssize_t(text.size());
}

bool Deliver(int fd, InstanceRequest request, int timeoutMs) {
    std::string reply;
    return WriteAll(fd, std::string(InstanceRequestWord(request)) + "\n") &&
           ReadLineBefore(fd, reply, timeoutMs) && reply == "ok";
}

// Binds and listens at path, replacing a socket nobody answers on.
int Listen(const std::string& path) {
    sockaddr_un address;
    if (!Address(path, address))
        return -1;
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode))
            return -1;
        ::unlink(path.c_str());
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

bool ParseInstanceRequest(const char* word, InstanceRequest& request) {
    if (!word || !*word) {
        request = InstanceRequest::Show;
        return true;
    }
    for (const auto& w : kWords)
        if (std::strcmp(w.word, word) == 0) {
            request = w.request;
            return true;
        }
    return false;
}

const char* InstanceRequestWord(InstanceRequest request) {
    for (const auto& w : kWords)
        if (w.request == request)
            return w.word;
    return "--show";
}

std::string InstanceSocketPath(const std::string& runtimeFolder) {
    const std::string folder = runtimeFolder.empty() ? PrivateRuntimeFolder() : runtimeFolder;
    return folder.empty() ? std::string() : folder + "/instance";
}

bool HandOverRequest(const std::string& path, InstanceRequest request, int timeoutMs) {
    int error = 0;
    const int fd = Connect(path, error);
    if (fd < 0)
        return false;
    const bool ok = Deliver(fd, request, timeoutMs);
    ::close(fd);
    return ok;
}

int ListenOrHandOver(const std::string& path, InstanceRequest request, bool& handedOver,
                     int timeoutMs) {
    handedOver = false;
    const std::string folder = FolderOf(path);
    if (!MakePrivateFolder(folder))
        return -1;
    // Held until this start listens or has handed over: a start that comes
    // meanwhile finds one or the other, never a socket in between.
    FileLock lock(path + ".lock", timeoutMs);
    if (!lock.Locked())
        return -1;
    const long long end = NowMs() + timeoutMs;
    for (;;) {
        int error = 0;
        if (const int peer = Connect(path, error); peer >= 0) {
            handedOver = Deliver(peer, request, static_cast<int>(end - NowMs()));
            ::close(peer);
            return -1;
        }
        // Only a socket nobody listens on, or none, is ours to take: a full
        // backlog is a window that is busy, not gone.
        if (error == ECONNREFUSED || error == ENOENT)
            return Listen(path);
        if ((error != EAGAIN && error != EINTR) || NowMs() >= end)
            return -1;
        const timespec step{0, 20'000'000};
        ::nanosleep(&step, nullptr);
    }
}

int AcceptInstancePeer(int listenFd) {
    for (;;) {
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return -1;
        ucred peer{};
        socklen_t size = sizeof peer;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid())
            return fd;
        ::close(fd);
    }
}

LineRead ReadRequestLine(int fd, std::string& line) {
    char buffer[kLongestLine];
    for (;;) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return LineRead::Pending;
        if (got <= 0)
            return LineRead::Failed;
        const auto* end = static_cast<const char*>(std::memchr(buffer, '\n', std::size_t(got)));
        line.append(buffer, end ? std::size_t(end - buffer) : std::size_t(got));
        if (line.size() > kLongestLine)
            return LineRead::Failed;
        if (end)
            return LineRead::Complete;
    }
}

bool ConfirmInstanceRequest(int fd, const std::string& line, InstanceRequest& request) {
    return !line.empty() && ParseInstanceRequest(line.c_str(), request) && WriteAll(fd, "ok\n");
}

bool ReadInstanceRequest(int listenFd, InstanceRequest& request, int deadlineMs) {
    const int fd = AcceptInstancePeer(listenFd);
    if (fd < 0)
        return false;
    std::string line;
    const bool ok =
        ReadLineBefore(fd, line, deadlineMs) && ConfirmInstanceRequest(fd, line, request);
    ::close(fd);
    return ok;
}
