// The server library as hostile and honest clients meet it: raw bytes over
// loopback TCP (from several loopback addresses) and over its Unix socket,
// with small limits so every deadline and cap is reached quickly.
#include "RawHttp.h"
#include "httpserver/HttpServer.h"
#include "httpserver/MultipartForm.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

using namespace httpserver;
using namespace std::chrono_literals;

namespace {

Limits SmallLimits() {
    Limits limits;
    limits.maxHeaderBytes = 4096;
    limits.maxHeaderFields = 50;
    limits.headerTime = 800ms;
    limits.bodyTime = 800ms;
    limits.idleTime = 300ms;
    limits.writeTime = 2s;
    limits.maxBodyBytes = 64 * 1024;
    limits.bodyBudgetBytes = 100 * 1024;
    limits.maxConnections = 40;
    limits.maxConnectionsPerClient = 8;
    limits.ioThreads = 2;
    return limits;
}

class TestServer {
public:
    explicit TestServer(Limits limits = SmallLimits())
        : server_(limits, {[this](const Request& head) { return OnHead(head); },
                           [this](Request request, Reply reply) {
                               OnRequest(std::move(request), std::move(reply));
                           }}) {
        std::string error;
        ListenAddress tcp;
        EXPECT_TRUE(server_.Listen(tcp, error)) << error;
        ListenAddress local;
        local.kind = ListenAddress::Kind::Unix;
        local.path = socketPath_ = dir_.filePath("server.sock").toStdString();
        EXPECT_TRUE(server_.Listen(local, error)) << error;
        thread_ = std::thread([this] { server_.Run(); });
    }
    ~TestServer() {
        server_.Stop();
        thread_.join();
    }

    int Port() const { return server_.Port(0); }
    const std::string& SocketPath() const { return socketPath_; }
    Server& Instance() { return server_; }
    // Requests to /hold wait here with their replies.
    std::vector<std::pair<Request, Reply>> TakeHeld() {
        std::lock_guard lock(mutex_);
        return std::move(held_);
    }
    bool Healthy(const char* from = "127.0.0.1") {
        const RawAnswer answer = SendRaw(RawConnection::Tcp(Port(), from), Get("/"), 1000);
        return answer.status == 200 && answer.body == "ok\n";
    }

private:
    HeadDecision OnHead(const Request& head) {
        HeadDecision decision;
        if (head.path == "/")
            decision.answerNow = Response::Text(200, "ok");
        else if (head.path == "/early")
            decision.answerNow = Response::Text(403, "not you");
        else if (head.path == "/small")
            decision.maxBodyBytes = 100;
        else if (head.path != "/echo" && head.path != "/hold" && head.path != "/drop" &&
                 head.path != "/badheader" && head.path != "/framing")
            decision.answerNow = Response::Text(404, "not found");
        return decision;
    }
    void OnRequest(Request request, Reply reply) {
        if (request.path == "/hold") {
            std::lock_guard lock(mutex_);
            held_.emplace_back(std::move(request), std::move(reply));
        } else if (request.path == "/badheader") {
            Response response = Response::Text(200, "x");
            response.headers.emplace_back("X-Name", "value\r\nSet-Cookie: injected=1");
            reply(std::move(response));
        } else if (request.path == "/framing") {
            Response response = Response::Text(200, "x");
            response.headers.emplace_back("Content-Length", "0");
            reply(std::move(response));
        } else if (request.path != "/drop") {
            reply(Response::Text(200, request.method + " " + request.query + " " +
                                          std::to_string(request.body.size()) + " " +
                                          request.peerAddress));
        }
    }

    QTemporaryDir dir_;
    std::string socketPath_;
    Server server_;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::pair<Request, Reply>> held_;
};

std::string Chunked(const std::string& path, const std::vector<std::string>& chunks,
                    const std::string& extra = {}) {
    std::string request =
        "POST " + path + " HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n" + extra + "\r\n";
    for (const std::string& chunk : chunks) {
        char size[32];
        std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
        request += size + chunk + "\r\n";
    }
    return request + "0\r\n\r\n";
}

// Sends `bytes` one at a time with a pause, until the server answers or closes.
std::string Trickle(RawConnection& connection, const std::string& bytes,
                    std::chrono::milliseconds pause) {
    for (const char c : bytes) {
        if (!connection.Send(std::string_view(&c, 1)))
            break;
        const std::string answer = connection.Receive(static_cast<int>(pause.count()));
        if (!answer.empty() || connection.ClosedByPeer())
            return answer;
    }
    return connection.Receive(2000);
}

TEST(HttpServerAddress, ParsesWhatTheCommandLinesTake) {
    struct Case {
        const char* text;
        bool ok;
        ListenAddress::Kind kind;
        const char* hostOrPath;
        int port;
    } const cases[] = {
        {"127.0.0.1:8080", true, ListenAddress::Kind::Tcp, "127.0.0.1", 8080},
        {"[::1]:0", true, ListenAddress::Kind::Tcp, "::1", 0},
        {"unix:/run/user/1000/quillmate/engine.sock", true, ListenAddress::Kind::Unix,
         "/run/user/1000/quillmate/engine.sock", 0},
        {"unix:", false, {}, "", 0},
        {"nohost", false, {}, "", 0},
        {":80", false, {}, "", 0},
        {"127.0.0.1:65536", false, {}, "", 0},
        {"127.0.0.1:8o", false, {}, "", 0},
        {"[::1:80", false, {}, "", 0},
    };
    for (const Case& c : cases) {
        ListenAddress address;
        std::string error;
        ASSERT_EQ(ParseListenAddress(c.text, address, error), c.ok) << c.text;
        if (!c.ok) {
            EXPECT_FALSE(error.empty()) << c.text;
            continue;
        }
        EXPECT_EQ(address.kind, c.kind) << c.text;
        EXPECT_EQ(c.kind == ListenAddress::Kind::Unix ? address.path : address.host, c.hostOrPath);
        EXPECT_EQ(address.port, c.port) << c.text;
    }
}

TEST(HttpServer, HostileRequestsGetTheirStatusAndTheConnectionCloses) {
    TestServer server;
    const std::string smuggled = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
    std::string flood = "GET / HTTP/1.1\r\n";
    for (int i = 0; i < 2000; ++i)
        flood += "X-" + std::to_string(i) + ": y\r\n";
    std::string manyFields = "GET / HTTP/1.1\r\n";
    for (int i = 0; i < 60; ++i)
        manyFields += "X-" + std::to_string(i) + ": y\r\n";
    struct Case {
        const char* name;
        std::string request;
        int status;
    } const cases[] = {
        {"request line without end", "GET /" + std::string(100000, 'a'), 414},
        {"header flood", flood, 431},
        {"too many fields", manyFields + "\r\n", 431},
        {"compressed body",
         Post("/echo", "text/plain", "x", "Content-Encoding: gzip\r\n") + smuggled, 415},
        {"unknown transfer coding",
         "POST /echo HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip\r\n\r\n" + smuggled, 501},
        {"chunked under another coding",
         "POST /echo HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip, chunked\r\n\r\n1\r\nx\r\n0"
         "\r\n\r\n",
         501},
        {"length and chunked", Post("/echo", "text/plain", "x", "Transfer-Encoding: chunked\r\n"),
         400},
        {"body without a length", "POST /echo HTTP/1.1\r\nHost: x\r\n\r\n" + smuggled, 411},
        {"declared length over the limit",
         "POST /echo HTTP/1.1\r\nHost: x\r\nContent-Length: 70000\r\n\r\n" + smuggled, 413},
        {"route's own limit", Post("/small", "text/plain", std::string(101, 'a')), 413},
        {"chunked over the limit",
         Chunked("/echo", std::vector<std::string>(70, std::string(1000, 'a'))), 413},
        {"one chunk over the limit", Chunked("/echo", {std::string(70000, 'a')}), 413},
        {"broken chunk",
         "POST /echo HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", 400},
        {"endless chunk extension",
         "POST /echo HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n1;" +
             std::string(10000, 'e'),
         400},
        {"unknown expectation", Post("/echo", "text/plain", "x", "Expect: 200-ok\r\n"), 417},
        {"garbage", "\x01\x02 nonsense\r\n\r\n", 400},
        {"refused with a request in its body", Post("/early", "text/plain", smuggled), 403},
        {"unanswered request", Post("/drop", "text/plain", "x"), 500},
        {"answer with a line break in a header", Post("/badheader", "text/plain", "x"), 500},
        {"answer framing itself", Post("/framing", "text/plain", "x"), 500},
    };
    for (const Case& c : cases) {
        RawConnection connection = RawConnection::Tcp(server.Port());
        connection.Send(c.request);
        connection.FinishSending();
        const std::vector<RawAnswer> answers = ParseAnswers(connection.Receive(5000));
        // One answer, and the connection closed: nothing after the refused
        // head is ever read as a request.
        ASSERT_EQ(answers.size(), 1u) << c.name;
        EXPECT_EQ(answers[0].status, c.status) << c.name << ": " << answers[0].body;
        EXPECT_NE(answers[0].head.find("Connection: close"), std::string::npos) << c.name;
        EXPECT_EQ(answers[0].head.find("injected"), std::string::npos) << c.name;
        EXPECT_TRUE(connection.ClosedByPeer()) << c.name;
        EXPECT_TRUE(server.Healthy()) << "after " << c.name;
    }
}

TEST(HttpServer, HonestRequestsKeepTheConnection) {
    TestServer server;
    RawConnection connection = RawConnection::Tcp(server.Port());
    // Pipelined: a plain request, a 100-continue upload, a chunked one with a
    // trailer, then one that closes.
    connection.Send("GET /echo?a=1 HTTP/1.1\r\nHost: x\r\n\r\n");
    connection.Send("POST /echo HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\nExpect: "
                    "100-continue\r\n\r\n");
    const std::string interim = connection.Receive(200);
    EXPECT_NE(interim.find("HTTP/1.1 100 Continue\r\n\r\n"), std::string::npos) << interim;
    connection.Send("hello" + Chunked("/echo", {"ab", "cde"}));
    connection.Send(Get("/echo"));
    const std::vector<RawAnswer> answers = ParseAnswers(interim + connection.Receive(3000));
    ASSERT_EQ(answers.size(), 4u) << interim;
    EXPECT_EQ(answers[0].body, "GET a=1 0 127.0.0.1\n");
    EXPECT_EQ(answers[1].body, "POST  5 127.0.0.1\n");
    EXPECT_EQ(answers[2].body, "POST  5 127.0.0.1\n");
    EXPECT_EQ(answers[3].status, 200);
    EXPECT_TRUE(connection.ClosedByPeer());

    // A kept-alive connection left idle is closed without an answer.
    RawConnection idle = RawConnection::Tcp(server.Port());
    idle.Send("GET /echo HTTP/1.1\r\nHost: x\r\n\r\n");
    const std::string all = idle.Receive(3000);
    EXPECT_EQ(ParseAnswers(all).size(), 1u);
    EXPECT_TRUE(idle.ClosedByPeer());

    const RawAnswer overUnix =
        SendRaw(RawConnection::Unix(server.SocketPath()), Post("/echo", "text/plain", "abc"));
    EXPECT_EQ(overUnix.body, "POST  3 unix\n");
}

TEST(HttpServer, DeadlinesCountTheWholeHeadAndBodyNotTheGaps) {
    TestServer server; // 800 ms for the head, 800 ms for the body
    // One byte every 150 ms never leaves a gap the deadline would see.
    struct Case {
        const char* name;
        std::string prefix; // sent at once
        std::string trickled;
    } const cases[] = {
        {"head", "", "GET / HTTP/1.1\r\nHost: x\r\nX-Slow: " + std::string(200, 'a')},
        {"body", "POST /echo HTTP/1.1\r\nHost: x\r\nContent-Length: 300\r\n\r\n",
         std::string(300, 'b')},
        {"chunked body", "POST /echo HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n",
         std::string(300, '1')},
    };
    for (const Case& c : cases) {
        RawConnection connection = RawConnection::Tcp(server.Port());
        connection.Send(c.prefix);
        const std::vector<RawAnswer> answers = ParseAnswers(Trickle(connection, c.trickled, 150ms));
        ASSERT_EQ(answers.size(), 1u) << c.name;
        EXPECT_EQ(answers[0].status, 408) << c.name;
    }
}

TEST(HttpServer, ConnectionCapsPerClientAndInAll) {
    TestServer server; // 8 per client, 40 in all
    std::vector<RawConnection> held;
    for (int i = 0; i < 8; ++i)
        held.push_back(RawConnection::Tcp(server.Port(), "127.0.0.2"));
    const RawAnswer refused = SendRaw(RawConnection::Tcp(server.Port(), "127.0.0.2"), Get("/"));
    EXPECT_EQ(refused.status, 503);
    EXPECT_NE(refused.head.find("Retry-After: 1"), std::string::npos);
    EXPECT_TRUE(server.Healthy("127.0.0.3"));

    for (int client = 4; client < 8; ++client)
        for (int i = 0; i < 8; ++i)
            held.push_back(
                RawConnection::Tcp(server.Port(), ("127.0.0." + std::to_string(client)).c_str()));
    EXPECT_EQ(SendRaw(RawConnection::Tcp(server.Port(), "127.0.0.9"), Get("/")).status, 503);
    held.clear();
    for (int i = 0; i < 50 && server.Instance().OpenConnections() > 0; ++i)
        std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(server.Healthy("127.0.0.2"));
}

TEST(HttpServer, BodiesHeldAtOnceStayWithinTheBudget) {
    TestServer server; // 100 KB for all bodies, 64 KB for one
    const std::string body(60 * 1024, 'x');
    // Two bodies kept by their handler take 120 KB: the second is refused,
    // and served once the first request is dropped.
    EXPECT_EQ(SendRaw(server.Port(), Post("/hold", "text/plain", body), 300).status, 0);
    const RawAnswer second = SendRaw(server.Port(), Post("/hold", "text/plain", body));
    EXPECT_EQ(second.status, 503);
    EXPECT_NE(second.head.find("Retry-After"), std::string::npos);
    // A chunked body is counted as it arrives.
    EXPECT_EQ(SendRaw(server.Port(),
                      Chunked("/echo", std::vector<std::string>(50, std::string(1000, 'c'))))
                  .status,
              503);
    server.TakeHeld().clear(); // the requests go, and their replies answer 500
    EXPECT_EQ(SendRaw(server.Port(), Post("/echo", "text/plain", body)).status, 200);
}

TEST(HttpServer, RepliesAfterTheClientOrTheServerIsGone) {
    std::vector<std::pair<Request, Reply>> late;
    {
        TestServer server;
        RawConnection gone = RawConnection::Tcp(server.Port());
        gone.Send(Post("/hold", "text/plain", "a"));
        RawConnection waiting = RawConnection::Tcp(server.Port());
        waiting.Send(Post("/hold", "text/plain", "b"));
        for (int i = 0; i < 100 && late.size() < 2; ++i) {
            std::this_thread::sleep_for(10ms);
            for (auto& held : server.TakeHeld())
                late.push_back(std::move(held));
        }
        ASSERT_EQ(late.size(), 2u);
        gone.Close();
        if (late[0].first.body == "b")
            std::swap(late[0], late[1]);
        std::thread([&] { late[0].second(Response::Text(200, "to nobody")); }).join();
        std::thread([&] { late[1].second(Response::Text(201, "late")); }).join();
        const std::vector<RawAnswer> answers = ParseAnswers(waiting.Receive(3000));
        ASSERT_EQ(answers.size(), 1u);
        EXPECT_EQ(answers[0].status, 201);
        late.clear();
        RawConnection orphan = RawConnection::Tcp(server.Port());
        orphan.Send(Post("/hold", "text/plain", "c"));
        for (int i = 0; i < 100 && late.empty(); ++i) {
            std::this_thread::sleep_for(10ms);
            late = server.TakeHeld();
        }
        ASSERT_EQ(late.size(), 1u);
    }
    // The server is gone: answering and dropping do nothing.
    late[0].second(Response::Text(200, "after the end"));
}

TEST(HttpServerUnixSocket, PrivateReplacedOnlyWhenStaleAndOurs) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("s.sock").toStdString();
    auto listen = [&](Server& server, std::string& error) {
        ListenAddress address;
        ParseListenAddress("unix:" + path, address, error);
        return server.Listen(address, error);
    };
    std::string error;
    {
        Server first(SmallLimits(), {});
        ASSERT_TRUE(listen(first, error)) << error;
        struct stat info {};
        ASSERT_EQ(::lstat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0600u);
        // A live socket is never taken over.
        Server second(SmallLimits(), {});
        EXPECT_FALSE(listen(second, error));
        EXPECT_NE(error.find("another server"), std::string::npos) << error;
    }
    // The file is gone with its server; a stale one left by a crash is replaced.
    struct stat info {};
    EXPECT_NE(::lstat(path.c_str(), &info), 0);
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    }
    {
        Server replacing(SmallLimits(), {});
        EXPECT_TRUE(listen(replacing, error)) << error;
    }

    struct Foreign {
        const char* name;
        const char* expected;
        std::function<void()> make;
    } const foreign[] = {
        {"a regular file", "not a socket", [&] { std::fclose(std::fopen(path.c_str(), "w")); }},
        {"a directory", "not a socket", [&] { ::mkdir(path.c_str(), 0700); }},
        {"a link to a socket", "not a socket",
         [&] { ::symlink(dir.filePath("elsewhere").toStdString().c_str(), path.c_str()); }},
    };
    for (const Foreign& f : foreign) {
        f.make();
        Server server(SmallLimits(), {});
        EXPECT_FALSE(listen(server, error)) << f.name;
        EXPECT_NE(error.find(f.expected), std::string::npos) << f.name << ": " << error;
        EXPECT_EQ(::lstat(path.c_str(), &info), 0) << f.name << " must stay";
        ::unlink(path.c_str());
        ::rmdir(path.c_str());
    }
}

// Runs fn in a child process as the user nobody; its exit status comes back.
int AsAnotherUser(const std::function<int()>& fn) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(99);
        ::_exit(fn());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(HttpServerUnixSocket, AnotherUserCanNeitherConnectNorTakeThePath) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as a second user";
    TestServer server;
    const std::string path = server.SocketPath();
    // The socket's mode keeps the other user out; with the mode opened up, the
    // server itself hangs up on a peer of another uid without a byte.
    // The child of a threaded process only makes system calls.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    auto tryRequest = [&] {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return 1;
        static const char request[] = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
        ::send(fd, request, sizeof request - 1, MSG_NOSIGNAL);
        pollfd p{fd, POLLIN, 0};
        char byte;
        // Hung up on: an end of stream or a reset, never a byte.
        return ::poll(&p, 1, 3000) == 1 && ::recv(fd, &byte, 1, 0) <= 0 ? 2 : 3;
    };
    ::chmod(QFileInfo(QString::fromStdString(path)).path().toLocal8Bit().constData(), 0755);
    EXPECT_EQ(AsAnotherUser(tryRequest), 1);
    ::chmod(path.c_str(), 0666);
    EXPECT_EQ(AsAnotherUser(tryRequest), 2);
    EXPECT_EQ(SendRaw(RawConnection::Unix(path), Get("/")).status, 200);

    // Another user's socket at the path is not ours to replace.
    QTemporaryDir dir;
    const std::string theirs = dir.filePath("theirs.sock").toStdString();
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        theirs.copy(address.sun_path, sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
        ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
    }
    Server taker(SmallLimits(), {});
    ListenAddress where;
    std::string error;
    ParseListenAddress("unix:" + theirs, where, error);
    EXPECT_FALSE(taker.Listen(where, error));
    EXPECT_NE(error.find("another user's socket"), std::string::npos) << error;
}

TEST(MultipartForm, SplitsWhatFormsSendAndRefusesTheRest) {
    const std::string b = "--------0102241230150";
    const std::string program =
        "--" + b +
        "\r\nContent-Disposition: form-data; name=\"image\"; "
        "filename=\"ocr.jpg\"\r\nContent-Type: image/jpg\r\n"
        "Content-Transfer-Encoding: binary\r\n\r\n\xFF\xD8\r\n--" +
        b.substr(0, 5) + "x\r\n--" + b +
        "\r\nContent-Disposition: form-data; name=\"from\"\r\n\r\nen\r\n--" + b + "--\r\n";
    MultipartForm form = SplitMultipart(program, b);
    ASSERT_EQ(form.error, "");
    ASSERT_EQ(form.parts.size(), 2u);
    EXPECT_EQ(form.parts[0].name, "image");
    EXPECT_EQ(form.parts[0].filename, "ocr.jpg");
    EXPECT_EQ(form.parts[0].contentType, "image/jpg");
    EXPECT_EQ(form.parts[0].data, "\xFF\xD8\r\n--" + b.substr(0, 5) + "x");
    EXPECT_EQ(form.parts[1].name, "from");
    EXPECT_EQ(form.parts[1].data, "en");

    auto part = [](const std::string& headers, const std::string& data) {
        return "--B\r\n" + headers + "\r\n\r\n" + data + "\r\n";
    };
    const std::string field = "Content-Disposition: form-data; name=\"a\"";
    struct Case {
        const char* name;
        std::string body;
        std::size_t parts; // 0 and not "empty form": refused
    } const cases[] = {
        {"preamble and epilogue", "junk\r\n" + part(field, "1") + "--B--\r\nmore junk", 1},
        {"padding after a boundary", "--B  \r\n" + field + "\r\n\r\n1\r\n--B--", 1},
        {"empty form", "--B--\r\n", 0},
        {"no close delimiter", part(field, "1"), 0},
        {"no boundary at all", "just bytes", 0},
        {"cut inside a header", "--B\r\nContent-Disposition: form-da", 0},
        {"header block too large", part(field + "\r\nX: " + std::string(5000, 'h'), "1") + "--B--",
         0},
        {"a part without a name", part("Content-Disposition: form-data", "1") + "--B--", 0},
        {"a part that is no form data",
         part("Content-Disposition: attachment; name=\"a\"", "") + "--B--", 0},
        {"a part without a disposition", part("Content-Type: text/plain", "1") + "--B--", 0},
        {"a folded header", part(field + "\r\n folded", "1") + "--B--", 0},
        {"an unclosed quote", part("Content-Disposition: form-data; name=\"a", "1") + "--B--", 0},
        {"seventeen parts",
         [&] {
             std::string body;
             for (int i = 0; i < 17; ++i)
                 body += part(field, "x");
             return body + "--B--";
         }(),
         0},
        {"sixteen parts",
         [&] {
             std::string body;
             for (int i = 0; i < 16; ++i)
                 body += part(field, "x");
             return body + "--B--";
         }(),
         16},
    };
    for (const Case& c : cases) {
        form = SplitMultipart(c.body, "B");
        EXPECT_EQ(form.parts.size(), c.parts) << c.name;
        EXPECT_EQ(form.error.empty(), c.parts > 0 || std::string(c.name) == "empty form") << c.name;
    }

    struct Type {
        std::string contentType;
        const char* boundary;
    } const types[] = {
        {"multipart/form-data; boundary=abc", "abc"},
        {"Multipart/Form-Data;boundary=\"a b:c\"", "a b:c"},
        {"multipart/form-data; boundary=\"a;b\"", ""},
        {"multipart/form-data; charset=utf-8; boundary=x-y", "x-y"},
        {"multipart/form-data", ""},
        {"multipart/mixed; boundary=abc", ""},
        {"multipart/form-data; boundary=", ""},
        {"multipart/form-data; boundary=a\"b", ""},
        {"multipart/form-data; boundary=\"unclosed", ""},
        {"multipart/form-data; boundary=" + std::string(71, 'a'), ""},
    };
    for (const Type& t : types)
        EXPECT_EQ(MultipartBoundary(t.contentType), t.boundary) << t.contentType;
}

} // namespace
