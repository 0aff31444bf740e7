#pragma once

#include "server/ServerOptions.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace server {

class JobQueue;

// The engines over HTTP: /ocrapi1, /getocr and /gettts (all under /TOKEN/
// when a token is set), plus GET / (under the token) as a liveness check.
class EngineServer {
public:
    explicit EngineServer(ServerOptions options);
    ~EngineServer();
    EngineServer(const EngineServer&) = delete;
    EngineServer& operator=(const EngineServer&) = delete;

    // Binds the listening socket; false, with the reason, when it cannot.
    bool Bind(std::string& error);
    // The base URL clients use, valid after Bind.
    std::string BaseUrl() const;
    // Serves until Stop or the idle limit.
    void Serve();
    void Stop();

private:
    class Activity;
    void Route();
    void WatchIdle();

    ServerOptions options_;
    std::string prefix_; // "/" or "/TOKEN/"
    int port_ = -1;
    std::unique_ptr<httplib::Server> http_;
    std::unique_ptr<JobQueue> jobs_;

    std::mutex idleMutex_;
    std::condition_variable idleChanged_;
    int active_ = 0;
    bool stopped_ = false;
    std::chrono::steady_clock::time_point lastActivity_;
    std::thread idleWatch_;
};

} // namespace server
