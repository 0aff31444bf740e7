#pragma once

#include "server/ServerOptions.h"

#include <initializer_list>
#include <memory>
#include <string>

namespace httpserver {
class Server;
struct HeadDecision;
struct Request;
class Reply;
} // namespace httpserver

namespace server {

class IdleWatch;
class JobQueue;

// The engines over HTTP: /ocrapi1, /getocr and /gettts (all under /TOKEN/
// when a token is set), plus GET / (under the token) as a liveness check.
// Requests are read on one I/O thread, however slow their clients; the
// engines run on the job queue's workers, which answer when done.
class EngineServer {
public:
    explicit EngineServer(ServerOptions options);
    ~EngineServer();
    EngineServer(const EngineServer&) = delete;
    EngineServer& operator=(const EngineServer&) = delete;

    // Binds every listening socket; false, with the reason, when one cannot.
    bool Bind(std::string& error);
    // After Bind, what whoever started the server reads, one per listener:
    // "http://HOST:PORT/TOKEN/", or "unix:PATH http://localhost/TOKEN/".
    std::string ReadyLine(std::size_t listener = 0) const;
    std::size_t Listeners() const { return options_.listen.size(); }
    int Port(std::size_t listener = 0) const;
    // Serves until Stop, a signal given to StopOnSignals, or the idle limit.
    void Serve();
    void Stop();
    void StopOnSignals(std::initializer_list<int> signalNumbers);

private:
    httpserver::HeadDecision OnHead(const httpserver::Request& head);
    void OnRequest(httpserver::Request request, httpserver::Reply reply);
    void Recognise(bool engineOne, httpserver::Request request, httpserver::Reply reply);
    void Speak(httpserver::Request request, httpserver::Reply reply);

    ServerOptions options_;
    std::string prefix_; // "/" or "/TOKEN/"
    std::unique_ptr<IdleWatch> idle_;
    std::unique_ptr<JobQueue> jobs_;
    std::unique_ptr<httpserver::Server> http_;
};

} // namespace server
