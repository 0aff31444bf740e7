#pragma once

// Plain bytes to a server under test and the answers back, for requests no
// well-behaved client would send: over TCP from any loopback address (the
// whole of 127.0.0.0/8 reaches this machine) or over a Unix socket.

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>
#include <vector>

struct RawAnswer {
    int status = 0; // 0: no answer
    std::string head;
    std::string body;
};

class RawConnection {
public:
    // TCP to 127.0.0.1:port, sent from the address `from`.
    static RawConnection Tcp(int port, const char* from = "127.0.0.1") {
        RawConnection c(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in source{};
        source.sin_family = AF_INET;
        ::inet_pton(AF_INET, from, &source.sin_addr);
        ::bind(c.fd_, reinterpret_cast<sockaddr*>(&source), sizeof source);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(c.fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            c.Close();
        return c;
    }
    static RawConnection Unix(const std::string& path) {
        RawConnection c(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        if (::connect(c.fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            c.Close();
        return c;
    }

    RawConnection(RawConnection&& other) noexcept
        : fd_(std::exchange(other.fd_, -1)), closedByPeer_(other.closedByPeer_) {}
    RawConnection& operator=(RawConnection&& other) noexcept {
        std::swap(fd_, other.fd_);
        std::swap(closedByPeer_, other.closedByPeer_);
        return *this;
    }
    ~RawConnection() { Close(); }

    bool Connected() const { return fd_ >= 0; }
    // False once the server has closed or reset the connection.
    bool Send(std::string_view bytes) {
        while (fd_ >= 0 && !bytes.empty()) {
            const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return fd_ >= 0;
    }
    // Tells the server nothing more is coming (it may still answer).
    void FinishSending() {
        if (fd_ >= 0)
            ::shutdown(fd_, SHUT_WR);
    }
    // Everything the server sends until it closes, or until it has been
    // silent for silenceMs.
    std::string Receive(int silenceMs = 20000) {
        std::string all;
        char buffer[65536];
        pollfd p{fd_, POLLIN, 0};
        while (fd_ >= 0 && ::poll(&p, 1, silenceMs) > 0) {
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) {
                closedByPeer_ = true;
                break;
            }
            all.append(buffer, static_cast<std::size_t>(n));
        }
        return all;
    }
    // True when the last Receive ended because the server closed.
    bool ClosedByPeer() const { return closedByPeer_; }
    void Close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    explicit RawConnection(int fd) : fd_(fd) {}
    int fd_ = -1;
    bool closedByPeer_ = false;
};

// Splits a stream of answers; interim 1xx answers are dropped.
inline std::vector<RawAnswer> ParseAnswers(std::string all) {
    std::vector<RawAnswer> answers;
    while (all.rfind("HTTP/1.1 ", 0) == 0) {
        const std::size_t end = all.find("\r\n\r\n");
        if (end == std::string::npos)
            break;
        RawAnswer answer;
        answer.status = std::stoi(all.substr(9, 3));
        answer.head = all.substr(0, end);
        all.erase(0, end + 4);
        std::size_t length = 0;
        const std::size_t at = answer.head.find("Content-Length: ");
        if (at != std::string::npos)
            length = std::stoul(answer.head.substr(at + 16));
        answer.body = all.substr(0, length);
        all.erase(0, std::min(length, all.size()));
        if (answer.status >= 200)
            answers.push_back(std::move(answer));
    }
    return answers;
}

inline RawAnswer SendRaw(RawConnection connection, const std::string& bytes,
                         int timeoutMs = 20000) {
    // The server may refuse before reading everything: read its answer anyway.
    connection.Send(bytes);
    std::vector<RawAnswer> answers = ParseAnswers(connection.Receive(timeoutMs));
    return answers.empty() ? RawAnswer{} : std::move(answers.front());
}

inline RawAnswer SendRaw(int port, const std::string& bytes, int timeoutMs = 20000) {
    return SendRaw(RawConnection::Tcp(port), bytes, timeoutMs);
}

inline std::string Post(const std::string& path, const std::string& contentType,
                        const std::string& body, const std::string& extraHeaders = {}) {
    return "POST " + path +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Type: " + contentType +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extraHeaders + "\r\n" +
           body;
}

inline std::string Get(const std::string& path) {
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}

// The peak and current resident memory of a process, in KiB.
inline std::pair<long, long> ResidentKiB(long pid) {
    std::string status;
    if (FILE* file = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            status.append(buffer, n);
        std::fclose(file);
    }
    auto field = [&](const char* name) {
        const std::size_t at = status.find(name);
        return at == std::string::npos ? -1L : std::stol(status.substr(at + std::strlen(name)));
    };
    return {field("VmHWM:"), field("VmRSS:")};
}
