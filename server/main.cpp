// quillmate-server: the desktop program's recognition and read-aloud engines.
#include "server/EngineServer.h"

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Every connection is a descriptor; the soft limit is often far below what
// the server's own connection cap allows.
void RaiseOpenFileLimit() {
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
}

} // namespace

int main(int argc, char** argv) {
    server::CommandLine line = server::ParseCommandLine(argc, argv);
    if (line.action == server::CommandLine::Action::Help) {
        std::fputs(server::UsageText(), stdout);
        return 0;
    }
    if (line.action == server::CommandLine::Action::UsageError) {
        std::fprintf(stderr, "quillmate-server: %s\n\n%s", line.error.c_str(), server::UsageText());
        return 2;
    }
    std::string error;
    if (line.options.tokenFromStdin &&
        !server::ReadTokenLine(STDIN_FILENO, line.options.token, error)) {
        std::fprintf(stderr, "quillmate-server: %s\n", error.c_str());
        return 2;
    }
    RaiseOpenFileLimit();
    // A client that goes away mid-answer must not end the server.
    std::signal(SIGPIPE, SIG_IGN);
    server::EngineServer engineServer(line.options);
    if (!engineServer.Bind(error)) {
        std::fprintf(stderr, "quillmate-server: %s\n", error.c_str());
        return 1;
    }
    // Ended by a signal, the server still removes its Unix socket.
    engineServer.StopOnSignals({SIGTERM, SIGINT, SIGHUP});
    // Whoever started us reads the first line to learn where we are.
    for (std::size_t i = 0; i < engineServer.Listeners(); ++i)
        std::printf("%s\n", engineServer.ReadyLine(i).c_str());
    std::fflush(stdout);
    engineServer.Serve();
    return 0;
}
