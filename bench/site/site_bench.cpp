// quill_site_bench [seconds per round]: requests per second and latency of the
// site against anchors measured in the same run.
//  - version file: the site beside nginx serving the same bytes from disk;
//  - feedback posts: SQLite (every row synced before its answer) and
//    PostgreSQL (a private cluster, synchronous commit), each post from an
//    address of its own through the trusted proxy, so the rate limit is
//    checked for every post as in production.
#include "PgCluster.h"
#include "site/Commands.h"
#include "site/SiteServer.h"
#include "siteweb/VersionFile.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// One keep-alive connection: a request out, one answer with a length back.
class Client {
public:
    explicit Client(int port) : port_(port) {}
    ~Client() { Close(); }
    // The status, or 0 when the connection failed.
    int Exchange(const std::string& request) {
        if (fd_ < 0 && !Connect())
            return 0;
        if (::send(fd_, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size())) {
            Close();
            return 0;
        }
        std::string data;
        std::size_t headEnd = std::string::npos;
        std::size_t need = 0;
        char buffer[16384];
        while (true) {
            if (headEnd != std::string::npos && data.size() >= need)
                break;
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) {
                Close();
                return 0;
            }
            data.append(buffer, std::size_t(n));
            if (headEnd == std::string::npos &&
                (headEnd = data.find("\r\n\r\n")) != std::string::npos) {
                const std::size_t at = data.find("Content-Length: ");
                need = headEnd + 4 + (at < headEnd ? std::stoul(data.substr(at + 16)) : 0);
            }
        }
        const int status = std::atoi(data.c_str() + 9);
        if (data.find("Connection: close") < headEnd)
            Close();
        return status;
    }

private:
    bool Connect() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(std::uint16_t(port_));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int one = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            Close();
            return false;
        }
        return true;
    }
    void Close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    int port_;
    int fd_ = -1;
};

struct Load {
    double perSecond = 0;
    double p50Ms = 0;
    double p99Ms = 0;
    long failures = 0;
};

// Clients in parallel, each with its own connection, for a fixed time.
Load Measure(int port, int clients, double seconds,
             const std::function<std::string(int client, long n)>& request) {
    std::vector<std::vector<double>> latencies(static_cast<std::size_t>(clients));
    std::atomic<long> failures{0};
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    std::vector<std::thread> threads;
    const auto start = Clock::now();
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&, c] {
            Client client(port);
            for (long n = 0; Clock::now() < end; ++n) {
                const auto t0 = Clock::now();
                const int status = client.Exchange(request(c, n));
                const double ms =
                    std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
                if (status == 200)
                    latencies[std::size_t(c)].push_back(ms);
                else
                    ++failures;
            }
        });
    for (auto& t : threads)
        t.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<double> all;
    for (auto& l : latencies)
        all.insert(all.end(), l.begin(), l.end());
    std::sort(all.begin(), all.end());
    Load load;
    load.failures = failures;
    if (!all.empty()) {
        load.perSecond = double(all.size()) / elapsed;
        load.p50Ms = all[all.size() / 2];
        load.p99Ms = all[std::min(all.size() - 1, all.size() * 99 / 100)];
    }
    return load;
}

void Report(const char* name, const Load& load) {
    std::printf("%-34s %9.0f /s   p50 %7.2f ms   p99 %7.2f ms   failed %ld\n", name, load.perSecond,
                load.p50Ms, load.p99Ms, load.failures);
}

std::string FeedbackRequest(int client, long n) {
    const std::string body =
        "user=orbix&name=Quillmate_8.0_Linux&email=bench%40example%2Ecn&title=%C4%FA%BA%C3"
        "&text=%BA%C3%26nbsp%3B%D3%C3%3Cbr%3E%0Abench&image=on&home="
        "0123456789abcdef0123456789abcdef"
        "&time=2024%2D05%2D06%26nbsp%3B07%3A08";
    // An address per post (10.c.n): the limit is looked up for each, none is refused.
    const std::string from = "10." + std::to_string(client) + "." +
                             std::to_string((n / 250) % 250) + "." + std::to_string(n % 250);
    return "POST /feedback/addinfo.asp HTTP/1.1\r\nHost: bench\r\nContent-Type: "
           "application/x-www-form-urlencoded\r\nX-Forwarded-For: " +
           from + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

const std::string kVersionRequest = "GET /update/quillversion.txt HTTP/1.1\r\nHost: bench\r\n\r\n";

struct Site {
    std::unique_ptr<site::SiteServer> server;
    std::thread thread;
    int port = 0;
    explicit Site(const std::string& database) {
        std::string error;
        if (!site::OpenMigrated(database, error)) {
            std::fprintf(stderr, "site: %s\n", error.c_str());
            return;
        }
        site::SiteConfig config;
        httpserver::ListenAddress where;
        config.listen = {where};
        config.database = database;
        config.trustedProxies = {"127.0.0.1"};
        server = std::make_unique<site::SiteServer>(config);
        if (!server->Listen(error)) {
            std::fprintf(stderr, "site: %s\n", error.c_str());
            return;
        }
        port = server->Port(0);
        thread = std::thread([this] { server->Run(); });
    }
    ~Site() {
        if (server)
            server->Stop();
        if (thread.joinable())
            thread.join();
    }
};

// nginx with two workers (as many as the site's I/O threads) serving a folder.
pid_t StartNginx(const fs::path& dir, int port) {
    std::ofstream(dir / "nginx.conf")
        << "daemon off;\nuser root;\nworker_processes 2;\npid " << (dir / "nginx.pid").string()
        << ";\nerror_log " << (dir / "nginx.log").string()
        << ";\nevents { worker_connections 1024; }\nhttp {\n access_log off;\n"
           " keepalive_requests 1000000;\n default_type text/plain;\n server {\n  listen 127.0.0.1:"
        << port << ";\n  root " << (dir / "www").string() << ";\n }\n}\n";
    const std::string conf = (dir / "nginx.conf").string();
    const std::string prefix = dir.string();
    char* argv[] = {const_cast<char*>("nginx"),        const_cast<char*>("-c"),
                    const_cast<char*>(conf.c_str()),   const_cast<char*>("-p"),
                    const_cast<char*>(prefix.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "nginx", nullptr, nullptr, argv, environ) != 0)
        return 0;
    return pid;
}

int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    close(fd);
    return ntohs(a.sin_port);
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    // On disk, not in memory: the SQLite figures must include the sync.
    char pattern[] = "/var/tmp/quill-site-bench-XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const fs::path dir = pattern;
    const std::string sqlite = "sqlite:" + (dir / "site.sqlite3").string();
    std::printf("quill_site_bench: %.0f s per round, 2 CPU cores shared by server and clients\n\n",
                seconds);

    {
        Site site(sqlite);
        if (!site.port)
            return 1;
        const site::SiteCommand add = site::ParseSiteCommand(
            {"release", "add", "8.1", "--path", "https://www.quillmate.net/download.htm",
             "--prompt", "Quillmate 8.1 已发布，是否现在下载？", "--database", sqlite});
        site::RunMakerCommand(add, stdout, stderr);
        // nginx serves the very bytes the site sends.
        fs::create_directories(dir / "www/update");
        {
            std::vector<sitestore::Release> releases;
            std::string error;
            auto store = sitestore::OpenStore(sqlite, error);
            if (!store || !store->ListReleases(releases, error) || releases.empty())
                return 1;
            std::ofstream(dir / "www/update/quillversion.txt", std::ios::binary)
                << siteweb::VersionFileText(releases[0]);
        }
        const int nginxPort = FreePort();
        const pid_t nginx = StartNginx(dir, nginxPort);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        Client warm(nginxPort);
        if (!nginx || warm.Exchange(kVersionRequest) != 200) {
            std::fprintf(stderr, "nginx did not start (see %s)\n", (dir / "nginx.log").c_str());
            return 1;
        }
        const auto version = [](int, long) { return kVersionRequest; };
        const Load anchor = Measure(nginxPort, 8, seconds, version);
        const Load ours = Measure(site.port, 8, seconds, version);
        kill(nginx, SIGQUIT);
        waitpid(nginx, nullptr, 0);
        Report("version file, nginx from disk", anchor);
        Report("version file, quillmate-site", ours);
        std::printf("%-34s %9.2f (goal >= 0.5)\n\n", "  ratio site / nginx",
                    ours.perSecond / std::max(1.0, anchor.perSecond));

        const Load posts = Measure(site.port, 32, seconds, FeedbackRequest);
        Report("feedback, SQLite (synced)", posts);
        std::printf("%-34s %9.2f (goal >= 500 /s: %s)\n", "  ratio to 500 /s",
                    posts.perSecond / 500, posts.perSecond >= 500 ? "met" : "missed");
        std::printf("%-34s %9.2f\n\n", "  ratio to nginx version file",
                    posts.perSecond / std::max(1.0, anchor.perSecond));
    }

    if (PgCluster* cluster = PgCluster::Get()) {
        const std::string pg = cluster->NewDatabase();
        Site site(pg);
        if (site.port) {
            const Load posts = Measure(site.port, 32, seconds, FeedbackRequest);
            Report("feedback, PostgreSQL", posts);
        }
    } else {
        std::printf("feedback, PostgreSQL: skipped (%s)\n", PgCluster::SkipReason().c_str());
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
