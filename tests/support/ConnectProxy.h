#pragma once

#include <QByteArray>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

// A forward proxy on 127.0.0.1 for tests, speaking only CONNECT: it opens the
// tunnel to the port asked for, and only on the loopback interface, so nothing
// here ever reaches another host. Every method may be called from any thread.
class ConnectProxy {
public:
    ConnectProxy();
    ~ConnectProxy();
    ConnectProxy(const ConnectProxy&) = delete;
    ConnectProxy& operator=(const ConnectProxy&) = delete;

    uint16_t port() const { return port_; }
    // "http://127.0.0.1:<port>", the form proxy variables take.
    QString url() const;

    // Header lines sent with "200 Connection established" (without CR LF).
    void setTunnelHeaders(const std::vector<QByteArray>& lines);
    // Raw bytes answered to every CONNECT instead of opening a tunnel (empty:
    // tunnel again); the connection closes after them.
    void setRefusal(const QByteArray& answer);
    // One-shot refusals, used in order before the tunnel or setRefusal.
    void queueRefusal(const QByteArray& answer);

    // Request heads received, in order ("CONNECT 127.0.0.1:443 HTTP/1.1...").
    std::vector<QByteArray> heads() const;
    // Tunnels opened so far.
    size_t tunnelCount() const;

private:
    void acceptLoop();
    void serve(int fd);
    void relay(int client, int target, QByteArray early);
    void track(int fd, bool add);

    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::thread acceptThread_;
    mutable std::mutex m_;
    std::condition_variable cv_;
    bool stopping_ = false;
    int active_ = 0;
    std::vector<int> openFds_;
    std::vector<QByteArray> heads_;
    std::vector<QByteArray> tunnelHeaders_;
    std::deque<QByteArray> queued_;
    QByteArray refusal_;
    size_t tunnels_ = 0;
};
