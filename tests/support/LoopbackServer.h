#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The usual reason phrase of an HTTP status; "Status" for one not listed.
QByteArray HttpReasonPhrase(int status);
// The first header of that name (without regard to case), or nullptr.
const QByteArray* FindHeader(const QList<QPair<QByteArray, QByteArray>>& headers,
                             QByteArrayView name);

// A request as the responder received it.
struct RecordedRequest {
    QByteArray method;
    QByteArray target;                            // as sent: path plus query
    QByteArray path;                              // target without the query
    QByteArray query;                             // after '?', without it
    QByteArray version;                           // "HTTP/1.1"
    QList<QPair<QByteArray, QByteArray>> headers; // in order, names as sent
    QByteArray body;                              // de-chunked when sent chunked
    QByteArray head;                              // request line and header lines, raw

    // First value of a header (name without regard to case); empty when absent.
    QByteArray header(const QByteArray& name) const;
    bool hasHeader(const QByteArray& name) const;
    // Every header line "Name: value" in order.
    QList<QByteArray> headerLines() const;
};

// What the responder does for one request: send chunks of raw bytes, each after
// its delay, then close the connection (or keep it open, silent, until the
// server stops).
struct LoopbackScript {
    struct Step {
        QByteArray bytes;
        int delayMs = 0;
    };
    std::vector<Step> steps;
    bool hangAfter = false;   // keep the connection open and say nothing more
    bool sendContinue = true; // answer "Expect: 100-continue" with 100
    bool readBody = true;     // read the request body before answering
    bool reset = false;       // end with a reset (RST) instead of a close
    // When the request body has not arrived this many milliseconds after the
    // head, answer "408 Request Timeout" instead of the steps (0: wait on).
    int bodyWaitMs = 0;

    // A whole answer with a Content-Length (and "Connection: close").
    static LoopbackScript Reply(int status, const QByteArray& body,
                                const QList<QPair<QByteArray, QByteArray>>& headers = {});
    static LoopbackScript Text(const QByteArray& body,
                               const QByteArray& contentType = "text/plain");
    // Answer whose body comes in chunked transfer coding, one chunk per part.
    static LoopbackScript Chunked(int status, const QList<QByteArray>& parts,
                                  const QList<QPair<QByteArray, QByteArray>>& headers = {});
    // Raw bytes exactly as given.
    static LoopbackScript Raw(const QByteArray& bytes);
    // Accepts, reads the request and never answers.
    static LoopbackScript NeverAnswer();

    // Appends raw bytes sent after delayMs.
    LoopbackScript& then(const QByteArray& bytes, int delayMs = 0);
    LoopbackScript& hang();
    LoopbackScript& resetAfter();
};

// HTTP/1.1 responder on 127.0.0.1 (a free port) for tests and benchmarks. One
// thread per connection; every method may be called from any thread.
class LoopbackServer {
public:
    using Handler = std::function<LoopbackScript(const RecordedRequest&)>;

    LoopbackServer();
    // Listens on a Unix socket at path instead; url() then names localhost.
    explicit LoopbackServer(const QString& unixSocketPath);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    uint16_t port() const { return port_; }
    // "http://127.0.0.1:<port>" (on a Unix socket "http://localhost") followed by path.
    QString url(const QString& path = QStringLiteral("/")) const;

    // Answer for a path (without query). Per-path scripts win over the handler,
    // which wins over the default.
    void on(const QByteArray& path, const LoopbackScript& script);
    // One-shot answers for a path, used in order before its on() script.
    void queue(const QByteArray& path, const LoopbackScript& script);
    // Computes the answer from the request (e.g. echo it).
    void setHandler(Handler handler);
    void setDefault(const LoopbackScript& script); // initially 404 "not found"
    void clearScripts();

    std::vector<RecordedRequest> requests() const;
    RecordedRequest lastRequest() const;
    size_t requestCount() const;
    // Waits until at least n requests have been received in all.
    bool waitForRequests(size_t n, int timeoutMs = 5000) const;
    // Connections accepted so far.
    size_t connectionCount() const;
    void clearRequests();

private:
    void acceptLoop();
    void serve(int fd);
    LoopbackScript scriptFor(const RecordedRequest& request);
    bool sleepFor(int ms);

    int listenFd_ = -1;
    uint16_t port_ = 0;
    QString unixSocketPath_;
    std::thread acceptThread_;
    mutable std::mutex m_;
    mutable std::condition_variable cv_;
    bool stopping_ = false;
    int activeConnections_ = 0;
    std::vector<int> openFds_;
    std::vector<RecordedRequest> requests_;
    size_t connectionCount_ = 0;
    std::map<QByteArray, LoopbackScript> scripts_;
    std::map<QByteArray, std::vector<LoopbackScript>> queued_;
    Handler handler_;
    LoopbackScript default_;
};
