#include "PgCluster.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <pwd.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::unique_ptr<PgCluster> g_cluster;
std::string g_skip;
bool g_tried = false;

std::string FindBin() {
    std::error_code ec;
    std::string best;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec))
        if (fs::exists(entry.path() / "bin/initdb") && entry.path().string() > best)
            best = entry.path().string();
    return best.empty() ? best : best + "/bin";
}

int FreePortGuess() {
    // The socket lives in our own folder, so the port only names the socket
    // file; any number works.
    return 20000 + int(getpid() % 20000);
}

} // namespace

struct PgClusterStopper {
    ~PgClusterStopper() {
        if (g_cluster)
            g_cluster->Stop();
    }
};
static PgClusterStopper g_stopper;

PgCluster* PgCluster::Get() {
    if (!g_tried) {
        g_tried = true;
        const std::string bin = FindBin();
        if (bin.empty()) {
            g_skip = "PostgreSQL is not installed (no /usr/lib/postgresql/*/bin/initdb); "
                     "scripts/deps.sh installs it";
        } else {
            std::unique_ptr<PgCluster> cluster(new PgCluster);
            cluster->bin_ = bin;
            std::string error;
            if (cluster->Start(error))
                g_cluster = std::move(cluster);
            else
                g_skip = "the private PostgreSQL cluster did not start: " + error;
        }
    }
    return g_cluster.get();
}

const std::string& PgCluster::SkipReason() {
    return g_skip;
}

bool PgCluster::Installed() {
    return !FindBin().empty();
}

std::string PgCluster::Run(const std::string& command, bool& ok) const {
    // Output goes through a file: the server pg_ctl starts would keep a pipe
    // open for as long as it runs.
    const std::string out = dir_ + "/command.out";
    std::string line = asPostgres_ ? "runuser -u postgres -- " + command : command;
    line += " >" + out + " 2>&1 </dev/null";
    ok = std::system(line.c_str()) == 0;
    std::string output;
    if (FILE* f = std::fopen(out.c_str(), "r")) {
        std::array<char, 4096> buffer;
        size_t n;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), f)) > 0)
            output.append(buffer.data(), n);
        std::fclose(f);
    }
    return output;
}

bool PgCluster::Start(std::string& error) {
    asPostgres_ = geteuid() == 0;
    char pattern[] = "/tmp/quill-pg-XXXXXX";
    if (!mkdtemp(pattern)) {
        error = "mkdtemp failed";
        return false;
    }
    dir_ = pattern;
    if (asPostgres_) {
        const passwd* pw = getpwnam("postgres");
        if (!pw || chown(dir_.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
            error = "no user postgres to run the server as";
            return false;
        }
    }
    port_ = FreePortGuess();
    bool ok;
    std::string out = Run(bin_ + "/initdb -D " + dir_ + "/data -U postgres -A trust -E UTF8 " +
                              "--no-locale --no-sync",
                          ok);
    if (!ok) {
        error = "initdb: " + out;
        return false;
    }
    out = Run(bin_ + "/pg_ctl -D " + dir_ + "/data -l " + dir_ + "/log -w -t 60 -o \"-p " +
                  std::to_string(port_) + " -k " + dir_ +
                  " -c listen_addresses='' -c unix_socket_permissions=0700\" start",
              ok);
    if (!ok) {
        error = "pg_ctl start: " + out;
        return false;
    }
    return true;
}

bool PgCluster::Restart() {
    bool ok;
    Run(bin_ + "/pg_ctl -D " + dir_ + "/data -w -m fast restart", ok);
    return ok;
}

void PgCluster::Stop() {
    bool ok;
    Run(bin_ + "/pg_ctl -D " + dir_ + "/data -w -m immediate stop", ok);
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

std::string PgCluster::NewDatabase() {
    const std::string name = "site" + std::to_string(++databases_);
    bool ok;
    const std::string out =
        Run(bin_ + "/createdb -h " + dir_ + " -p " + std::to_string(port_) + " -U postgres " + name,
            ok);
    if (!ok)
        return {};
    return "postgresql:///" + name + "?host=" + dir_ + "&port=" + std::to_string(port_) +
           "&user=postgres";
}
