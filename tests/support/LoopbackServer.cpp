#include "LoopbackServer.h"

#include "LoopbackListen.h"

#include <QFile>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

QByteArray HeadOf(int status, const QList<QPair<QByteArray, QByteArray>>& headers) {
    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(status) + ' ' + HttpReasonPhrase(status) + "\r\n";
    for (const auto& h : headers)
        head += h.first + ": " + h.second + "\r\n";
    return head;
}

// Reads more bytes into buf; false at the end of the connection.
bool ReadMore(int fd, QByteArray& buf) {
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        buf.append(chunk, n);
        return true;
    }
}

} // namespace

QByteArray HttpReasonPhrase(int status) {
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 206:
        return "Partial Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 407:
        return "Proxy Authentication Required";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

const QByteArray* FindHeader(const QList<QPair<QByteArray, QByteArray>>& headers,
                             QByteArrayView name) {
    for (const auto& h : headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return &h.second;
    return nullptr;
}

QByteArray RecordedRequest::header(const QByteArray& name) const {
    const QByteArray* value = FindHeader(headers, name);
    return value ? *value : QByteArray();
}

bool RecordedRequest::hasHeader(const QByteArray& name) const {
    return FindHeader(headers, name) != nullptr;
}

QList<QByteArray> RecordedRequest::headerLines() const {
    QList<QByteArray> lines;
    for (const auto& h : headers)
        lines.append(h.first + ": " + h.second);
    return lines;
}

LoopbackScript LoopbackScript::Reply(int status, const QByteArray& body,
                                     const QList<QPair<QByteArray, QByteArray>>& headers) {
    QByteArray head = HeadOf(status, headers);
    head += "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n";
    LoopbackScript s;
    s.steps.push_back({head + body, 0});
    return s;
}

LoopbackScript LoopbackScript::Text(const QByteArray& body, const QByteArray& contentType) {
    return Reply(200, body, {{"Content-Type", contentType}});
}

LoopbackScript LoopbackScript::Chunked(int status, const QList<QByteArray>& parts,
                                       const QList<QPair<QByteArray, QByteArray>>& headers) {
    QByteArray bytes = HeadOf(status, headers);
    bytes += "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
    for (const QByteArray& part : parts)
        if (!part.isEmpty())
            bytes += QByteArray::number(part.size(), 16) + "\r\n" + part + "\r\n";
    bytes += "0\r\n\r\n";
    LoopbackScript s;
    s.steps.push_back({bytes, 0});
    return s;
}

LoopbackScript LoopbackScript::Raw(const QByteArray& bytes) {
    LoopbackScript s;
    s.steps.push_back({bytes, 0});
    return s;
}

LoopbackScript LoopbackScript::NeverAnswer() {
    LoopbackScript s;
    s.hangAfter = true;
    return s;
}

LoopbackScript& LoopbackScript::then(const QByteArray& bytes, int delayMs) {
    steps.push_back({bytes, delayMs});
    return *this;
}

LoopbackScript& LoopbackScript::hang() {
    hangAfter = true;
    return *this;
}

LoopbackScript& LoopbackScript::resetAfter() {
    reset = true;
    return *this;
}

LoopbackServer::LoopbackServer() : default_(LoopbackScript::Reply(404, "not found")) {
    listenFd_ = ListenOnLoopback(port_, 128);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

LoopbackServer::LoopbackServer(const QString& unixSocketPath)
    : unixSocketPath_(unixSocketPath), default_(LoopbackScript::Reply(404, "not found")) {
    const QByteArray native = QFile::encodeName(unixSocketPath);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (native.size() < qsizetype(sizeof address.sun_path)) {
        std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listenFd_, 128);
    }
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
    {
        std::lock_guard lk(m_);
        stopping_ = true;
        for (int fd : openFds_)
            ::shutdown(fd, SHUT_RDWR);
    }
    cv_.notify_all();
    ::shutdown(listenFd_, SHUT_RDWR);
    acceptThread_.join();
    ::close(listenFd_);
    std::unique_lock lk(m_);
    cv_.wait(lk, [&] { return activeConnections_ == 0; });
}

QString LoopbackServer::url(const QString& path) const {
    if (!unixSocketPath_.isEmpty())
        return QStringLiteral("http://localhost") + path;
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
}

void LoopbackServer::on(const QByteArray& path, const LoopbackScript& script) {
    std::lock_guard lk(m_);
    scripts_[path] = script;
}

void LoopbackServer::queue(const QByteArray& path, const LoopbackScript& script) {
    std::lock_guard lk(m_);
    queued_[path].push_back(script);
}

void LoopbackServer::setHandler(Handler handler) {
    std::lock_guard lk(m_);
    handler_ = std::move(handler);
}

void LoopbackServer::setDefault(const LoopbackScript& script) {
    std::lock_guard lk(m_);
    default_ = script;
}

void LoopbackServer::clearScripts() {
    std::lock_guard lk(m_);
    scripts_.clear();
    queued_.clear();
    handler_ = nullptr;
}

std::vector<RecordedRequest> LoopbackServer::requests() const {
    std::lock_guard lk(m_);
    return requests_;
}

RecordedRequest LoopbackServer::lastRequest() const {
    std::lock_guard lk(m_);
    return requests_.empty() ? RecordedRequest{} : requests_.back();
}

size_t LoopbackServer::requestCount() const {
    std::lock_guard lk(m_);
    return requests_.size();
}

size_t LoopbackServer::connectionCount() const {
    std::lock_guard lk(m_);
    return connectionCount_;
}

void LoopbackServer::clearRequests() {
    std::lock_guard lk(m_);
    requests_.clear();
}

bool LoopbackServer::waitForRequests(size_t n, int timeoutMs) const {
    std::unique_lock lk(m_);
    return cv_.wait_for(lk, std::chrono::milliseconds(timeoutMs),
                        [&] { return requests_.size() >= n; });
}

bool LoopbackServer::sleepFor(int ms) {
    std::unique_lock lk(m_);
    if (ms <= 0)
        return !stopping_;
    cv_.wait_for(lk, std::chrono::milliseconds(ms), [&] { return stopping_; });
    return !stopping_;
}

LoopbackScript LoopbackServer::scriptFor(const RecordedRequest& request) {
    Handler handler;
    {
        std::lock_guard lk(m_);
        auto q = queued_.find(request.path);
        if (q != queued_.end() && !q->second.empty()) {
            LoopbackScript s = q->second.front();
            q->second.erase(q->second.begin());
            return s;
        }
        auto it = scripts_.find(request.path);
        if (it != scripts_.end())
            return it->second;
        if (!handler_)
            return default_;
        handler = handler_;
    }
    return handler(request);
}

void LoopbackServer::acceptLoop() {
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard lk(m_);
        if (fd < 0) {
            if (stopping_)
                return;
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;
        }
        if (stopping_) {
            ::close(fd);
            return;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ++connectionCount_;
        openFds_.push_back(fd);
        ++activeConnections_;
        std::thread([this, fd] { serve(fd); }).detach();
    }
}

void LoopbackServer::serve(int fd) {
    QByteArray buf;
    auto finish = [&] {
        std::lock_guard lk(m_);
        openFds_.erase(std::remove(openFds_.begin(), openFds_.end(), fd), openFds_.end());
        ::close(fd);
        --activeConnections_;
        cv_.notify_all();
    };
    // Request head.
    qsizetype end;
    while ((end = buf.indexOf("\r\n\r\n")) < 0) {
        if (!ReadMore(fd, buf)) {
            finish();
            return;
        }
    }
    RecordedRequest req;
    req.head = buf.left(end);
    buf.remove(0, end + 4);
    const QList<QByteArray> lines = req.head.split('\n');
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    req.method = first.value(0);
    req.target = first.value(1);
    req.version = first.value(2);
    const qsizetype q = req.target.indexOf('?');
    req.path = q < 0 ? req.target : req.target.left(q);
    req.query = q < 0 ? QByteArray() : req.target.mid(q + 1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            req.headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
    }

    LoopbackScript script = scriptFor(req);
    const auto bodyDeadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(script.bodyWaitMs);
    bool gaveUp = false;
    // Reads more of the body; false at its end, or once the server gave up on it.
    auto more = [&] {
        if (script.bodyWaitMs > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  bodyDeadline - std::chrono::steady_clock::now())
                                  .count();
            pollfd p{fd, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) {
                gaveUp = true;
                return false;
            }
        }
        return ReadMore(fd, buf);
    };
    // Body.
    if (script.readBody) {
        if (script.sendContinue &&
            req.header("Expect").compare("100-continue", Qt::CaseInsensitive) == 0)
            SendAll(fd, "HTTP/1.1 100 Continue\r\n\r\n", 25);
        const QByteArray te = req.header("Transfer-Encoding").toLower();
        if (te.contains("chunked")) {
            for (;;) {
                qsizetype eol;
                while ((eol = buf.indexOf("\r\n")) < 0)
                    if (!more())
                        break;
                if (eol < 0)
                    break;
                bool ok = false;
                const qsizetype size =
                    buf.left(eol).split(';').value(0).trimmed().toLongLong(&ok, 16);
                if (!ok)
                    break;
                buf.remove(0, eol + 2);
                while (buf.size() < size + 2)
                    if (!more())
                        break;
                req.body += buf.left(size);
                buf.remove(0, std::min(buf.size(), size + 2));
                if (size == 0)
                    break;
            }
        } else {
            bool ok = false;
            const qsizetype length = req.header("Content-Length").toLongLong(&ok);
            if (ok) {
                while (buf.size() < length)
                    if (!more())
                        break;
                req.body = buf.left(length);
            }
        }
    }
    {
        std::lock_guard lk(m_);
        requests_.push_back(req);
    }
    cv_.notify_all();

    if (gaveUp) {
        script.steps = {{"HTTP/1.1 408 Request Timeout\r\nContent-Length: 0\r\n"
                         "Connection: close\r\n\r\n",
                         0}};
        script.hangAfter = false;
    }
    for (const auto& step : script.steps) {
        if (!sleepFor(step.delayMs))
            break;
        if (!SendAll(fd, step.bytes.constData(), step.bytes.size()))
            break;
    }
    if (script.hangAfter) {
        std::unique_lock lk(m_);
        cv_.wait(lk, [&] { return stopping_; });
    } else if (script.reset) {
        // A close with no linger time sends RST: the peer sees a broken connection.
        const linger hard{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    } else {
        // Let the client see the end of the answer before the reset of a close
        // with unread input.
        ::shutdown(fd, SHUT_WR);
        pollfd p{fd, POLLIN, 0};
        char sink[4096];
        while (::poll(&p, 1, 200) > 0 && ::recv(fd, sink, sizeof sink, 0) > 0) {
        }
    }
    finish();
}
