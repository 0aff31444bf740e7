#include "desktop/InstanceChannel.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
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

// A folder of ours alone: made when missing, refused when it is a link, when
// someone else owns it or may look into it.
bool PrivateFolder(const std::string& folder) {
    ::mkdir(folder.c_str(), 0700);
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

bool Address(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

int Connect(const std::string& path) {
    sockaddr_un address;
    if (!Address(path, address))
        return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads up to a line end within timeoutMs; the line without its end.
bool ReadLine(int fd, std::string& line, int timeoutMs) {
    line.clear();
    char c = 0;
    while (line.size() < 64) {
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, timeoutMs) != 1 || ::read(fd, &c, 1) != 1)
            return false;
        if (c == '\n')
            return true;
        line += c;
    }
    return false;
}

bool WriteAll(int fd, const std::string& text) {
    return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == ssize_t(text.size());
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
    std::string base = runtimeFolder;
    if (base.empty()) {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        base = runtime && *runtime ? std::string(runtime) + "/quillmate"
                                   : "/tmp/quillmate-" + std::to_string(::geteuid());
    }
    return base + "/instance";
}

bool HandOverRequest(const std::string& path, InstanceRequest request, int timeoutMs) {
    const int fd = Connect(path);
    if (fd < 0)
        return false;
    std::string reply;
    const bool ok = WriteAll(fd, std::string(InstanceRequestWord(request)) + "\n") &&
                    ReadLine(fd, reply, timeoutMs) && reply == "ok";
    ::close(fd);
    return ok;
}

int ListenForInstances(const std::string& path, bool& alive) {
    alive = false;
    sockaddr_un address;
    const std::string folder = path.substr(0, path.rfind('/'));
    if (!Address(path, address) || !PrivateFolder(folder))
        return -1;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0)
            return -1;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(fd, 8) == 0)
            return fd;
        const int error = errno;
        ::close(fd);
        if (error != EADDRINUSE)
            return -1;
        // Someone answers there: a window runs already.
        if (const int peer = Connect(path); peer >= 0) {
            ::close(peer);
            alive = true;
            return -1;
        }
        // Nobody does: the socket of a program that died.
        ::unlink(path.c_str());
    }
    return -1;
}

bool ReadInstanceRequest(int listenFd, InstanceRequest& request) {
    const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return false;
    ucred peer{};
    socklen_t size = sizeof peer;
    std::string line;
    const bool ok = ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
                    peer.uid == ::geteuid() && ReadLine(fd, line, 250) &&
                    ParseInstanceRequest(line.c_str(), request) && !line.empty() &&
                    WriteAll(fd, "ok\n");
    ::close(fd);
    return ok;
}
