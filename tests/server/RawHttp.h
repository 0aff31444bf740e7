#pragma once

// Plain bytes to a loopback port and the answer back, for requests no
// well-behaved client would send.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

struct RawAnswer {
    int status = 0; // 0: no answer
    std::string head;
    std::string body;
};

inline RawAnswer SendRaw(int port, const std::string& bytes, int timeoutMs = 20000) {
    RawAnswer answer;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return answer;
    }
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break; // the server may refuse before reading everything
        sent += static_cast<std::size_t>(n);
    }
    std::string all;
    char buffer[65536];
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, timeoutMs) > 0) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        all.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    // An interim "100 Continue" comes first when the request expects one.
    while (all.rfind("HTTP/1.1 1", 0) == 0 && all.find("\r\n\r\n") != std::string::npos)
        all.erase(0, all.find("\r\n\r\n") + 4);
    const std::size_t end = all.find("\r\n\r\n");
    if (all.rfind("HTTP/1.1 ", 0) != 0 || end == std::string::npos)
        return answer;
    answer.status = std::stoi(all.substr(9, 3));
    answer.head = all.substr(0, end);
    answer.body = all.substr(end + 4);
    return answer;
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
