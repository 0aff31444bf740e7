// "quillmate translate" as a whole process, start to exit, against the
// loopback responder, interleaved with the curl tool sending the same POST
// (same agent, same body). Prints the medians and their ratio (goal <= 1.5).
//   quill_cli_bench [rounds]
#include "LoopbackServer.h"
#include "translate/TranslationRequest.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const QByteArray kAnswer =
    R"([[["早上好","Good morning",null,null,1],[null,null,"Zaoshang hao"]],null,"en"])";

double NowMs() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Runs argv to its end with standard output and error thrown away; the time
// in milliseconds, or a negative value when it failed.
double TimeProcess(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const double start = NowMs();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double ms = NowMs() - start;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : -1;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 30;
    LoopbackServer server;
    server.on("/translate_a/single", LoopbackScript::Reply(200, kAnswer));
    const std::string url = server.url("/translate_a/single").toStdString();
    ::setenv("QUILLMATE_TRANSLATE_URL", url.c_str(), 1);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    char home[] = "/tmp/quill-cli-bench-XXXXXX";
    if (!::mkdtemp(home))
        return 1;
    ::setenv("HOME", home, 1);
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("XDG_DATA_HOME");

    const std::string body = BuildTranslationBody(u"en", u"zh-CN", u"Good morning").toStdString();
    const std::vector<std::string> ours = {QUILL_PROGRAM, "translate", "-s",          "en",
                                           "-t",          "zh-CN",     "Good morning"};
    const std::vector<std::string> curl = {"curl",
                                           "-s",
                                           "-o",
                                           "/dev/null",
                                           "-A",
                                           kTranslateAgent,
                                           "-H",
                                           "Accept: text/html, */*",
                                           "--data-binary",
                                           body,
                                           url};

    // One untimed round each warms the page cache.
    if (TimeProcess(ours) < 0 || TimeProcess(curl) < 0) {
        std::fprintf(stderr, "a warm-up run failed\n");
        return 1;
    }
    std::vector<double> oursMs, curlMs;
    for (int i = 0; i < rounds; ++i) {
        const double a = TimeProcess(ours);
        const double b = TimeProcess(curl);
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "round %d failed\n", i);
            return 1;
        }
        oursMs.push_back(a);
        curlMs.push_back(b);
    }
    const double o = Median(oursMs), c = Median(curlMs);
    std::printf("command-line translation, whole process (median of %d, interleaved)\n", rounds);
    std::printf("  quillmate translate  %7.2f ms\n", o);
    std::printf("  curl (anchor)        %7.2f ms\n", c);
    std::printf("  ratio %.2f (goal <= 1.5)\n", o / c);
    std::string cleanup = std::string("rm -rf ") + home;
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
