// Starts quillmate and the bare window in turn on the current X display and
// measures, for each, the time from launch until its first window is painted
// and its resident memory once idle. Prints medians, the time each stage of
// the start took, and the ratios against the standing budget (1.3x the bare
// window in both).
//   quill_startup_bench [runs] [idle-ms]
#include "MonotonicNs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr double kBudget = 1.3;

struct Program {
    const char* label;
    const char* path;
    std::string home;
    std::vector<double> paintMs;
    std::vector<double> rssMiB;
    bool handsOver = false;         // a second start gives the window its request
    std::vector<double> handOverMs; // such a second start, launch to exit
    std::map<std::string, std::vector<double>> stageMs;
};

// The marks the preloaded library and the probe write, in the order they come.
const char* const kStages[] = {"loaded", "module", "linked",  "platform", "form",
                               "polish", "shown",  "exposed", "painted"};
const char* const kStageNames[] = {"exec to main (dynamic loading)",
                                   "main to module load",
                                   "window module load",
                                   "Qt platform up",
                                   "to the first widget",
                                   "building the window",
                                   "polish and layout",
                                   "shown to exposed",
                                   "exposed to painted"};

// "label ns" lines until the "painted" one; false when that never came.
bool ReadMarks(int fd, std::map<std::string, long long>& marks) {
    std::string text;
    while (text.find("painted ") == std::string::npos || text.back() != '\n') {
        pollfd wait{fd, POLLIN, 0};
        char chunk[512];
        if (::poll(&wait, 1, 30000) != 1)
            return false;
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        text.append(chunk, std::size_t(n));
    }
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        const std::size_t blank = line.find(' ');
        if (blank != std::string::npos)
            marks[line.substr(0, blank)] = std::atoll(line.c_str() + blank + 1);
        at = end + 1;
    }
    return true;
}

double RssMiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kib = 0;
            status >> kib;
            return kib / 1024.0;
        }
        status.ignore(1 << 20, '\n');
    }
    return -1;
}

// One launch; false when the program showed nothing within 30 s.
bool RunOnce(Program& program, int idleMs, bool record) {
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    const long long start = MonotonicNs();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const std::string probePath = QUILL_PROBE_DIR;
        ::setenv("QT_PLUGIN_PATH", probePath.c_str(), 1);
        ::setenv("QT_QPA_GENERIC_PLUGINS", "quillprobe", 1);
        ::setenv("QUILL_PROBE_FD", std::to_string(fds[1]).c_str(), 1);
        ::setenv("LD_PRELOAD", QUILL_MARKS, 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ::setenv("HOME", program.home.c_str(), 1);
        // Never handed over to a window of the user's own.
        ::setenv("XDG_RUNTIME_DIR", program.home.c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
        ::unsetenv("XDG_DATA_HOME");
        ::unsetenv("QUILLMATE_DATA_DIR");
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execl(program.path, program.path, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::map<std::string, long long> marks;
    const bool ok = ReadMarks(fds[0], marks);
    ::close(fds[0]);
    if (ok) {
        const double ms = double(marks["painted"] - start) / 1e6;
        long long previous = start;
        for (const char* stage : kStages) {
            const auto mark = marks.find(stage);
            if (mark == marks.end())
                continue;
            if (record)
                program.stageMs[stage].push_back(double(mark->second - previous) / 1e6);
            previous = mark->second;
        }
        ::usleep(useconds_t(idleMs) * 1000);
        const double rss = RssMiB(pid);
        if (record) {
            program.paintMs.push_back(ms);
            program.rssMiB.push_back(rss);
        }
        if (record && program.handsOver) {
            const long long second = MonotonicNs();
            const pid_t again = ::fork();
            if (again == 0) {
                ::setenv("HOME", program.home.c_str(), 1);
                ::setenv("XDG_RUNTIME_DIR", program.home.c_str(), 1);
                ::execl(program.path, program.path, "--show", static_cast<char*>(nullptr));
                ::_exit(127);
            }
            int secondStatus = 0;
            ::waitpid(again, &secondStatus, 0);
            if (WIFEXITED(secondStatus) && WEXITSTATUS(secondStatus) == 0)
                program.handOverMs.push_back(double(MonotonicNs() - second) / 1e6);
        }
    }
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return ok;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Min(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int idleMs = argc > 2 ? std::max(0, std::atoi(argv[2])) : 1500;
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "needs an X display (bench/startup/run.sh starts Xvfb)\n");
        return 2;
    }
    char homeTemplate[] = "/tmp/quill-startup-XXXXXX";
    if (!::mkdtemp(homeTemplate))
        return 2;
    const std::string root = homeTemplate;
    // QUILL_STARTUP_PROGRAM measures another build (or a wrapper) in quillmate's place.
    const char* program = std::getenv("QUILL_STARTUP_PROGRAM");
    Program programs[] = {
        {"quillmate", program ? program : QUILL_PROGRAM, root + "/quillmate", {}, {}, true, {}, {}},
        {"bare window", QUILL_BARE_PROGRAM, root + "/bare", {}, {}, false, {}, {}}};
    for (Program& p : programs) {
        std::system(("mkdir -p '" + p.home + "'").c_str());
        // The first start of quillmate writes its cursor and library files.
        if (!RunOnce(p, 0, false)) {
            std::fprintf(stderr, "%s showed no window\n", p.label);
            return 1;
        }
    }
    // Interleaved, so load from elsewhere on the machine hits both alike.
    for (int i = 0; i < runs; ++i)
        for (Program& p : programs)
            RunOnce(p, idleMs, true);
    std::system(("rm -rf '" + root + "'").c_str());

    std::printf("%-12s %8s %14s %14s %12s\n", "program", "runs", "paint med ms", "paint min ms",
                "RSS med MiB");
    for (const Program& p : programs)
        std::printf("%-12s %8zu %14.1f %14.1f %12.1f\n", p.label, p.paintMs.size(),
                    Median(p.paintMs), Min(p.paintMs), Median(p.rssMiB));
    std::printf("\nstage, median ms                %12s %12s\n", programs[0].label,
                programs[1].label);
    for (std::size_t i = 0; i < std::size(kStages); ++i) {
        std::printf("%-32s", kStageNames[i]);
        for (const Program& p : programs) {
            const auto stage = p.stageMs.find(kStages[i]);
            if (stage == p.stageMs.end())
                std::printf(" %12s", "-");
            else
                std::printf(" %12.1f", Median(stage->second));
        }
        std::printf("\n");
    }
    if (!programs[0].handOverMs.empty())
        std::printf("second start handing over to the window: median %.1f ms (goal < 50)\n",
                    Median(programs[0].handOverMs));
    // Each round starts both programs back to back: the median of the rounds'
    // own ratios shrugs off load that comes and goes between rounds.
    if (programs[0].paintMs.size() == programs[1].paintMs.size()) {
        std::vector<double> paired;
        for (std::size_t i = 0; i < programs[0].paintMs.size(); ++i)
            paired.push_back(programs[0].paintMs[i] / programs[1].paintMs[i]);
        std::printf("time ratio within each round: median %.2fx\n", Median(paired));
    }
    const double timeRatio = Median(programs[0].paintMs) / Median(programs[1].paintMs);
    const double memRatio = Median(programs[0].rssMiB) / Median(programs[1].rssMiB);
    std::printf("ratio: time %.2fx, memory %.2fx (budget %.1fx): %s\n", timeRatio, memRatio,
                kBudget, timeRatio <= kBudget && memRatio <= kBudget ? "within" : "OVER");
    return 0;
}
