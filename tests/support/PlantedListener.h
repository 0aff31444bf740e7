#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <sys/types.h>
#include <thread>
#include <vector>

// A listener planted where the program might take it for its own engine, as
// another user would: it accepts every connection, records what arrives and
// never answers.
class PlantedListener {
public:
    // At path, the socket file then owned by owner (changing it needs root).
    // Null when it cannot be made.
    static std::unique_ptr<PlantedListener> OnUnixSocket(const QString& path, uid_t owner);
    // On 127.0.0.1:port. Null when the port is taken.
    static std::unique_ptr<PlantedListener> OnTcpPort(uint16_t port);
    ~PlantedListener();
    PlantedListener(const PlantedListener&) = delete;
    PlantedListener& operator=(const PlantedListener&) = delete;

    int Connections() const { return connections_.load(); }
    QByteArray Received() const;

private:
    explicit PlantedListener(int listenFd);
    void Run();

    int listenFd_;
    int wake_[2] = {-1, -1};
    std::atomic<int> connections_{0};
    mutable std::mutex m_;
    QByteArray received_;
    std::vector<int> peers_;
    std::thread thread_;
};
