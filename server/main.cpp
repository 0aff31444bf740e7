// quillmate-server: the desktop program's recognition and read-aloud engines.
#include "server/EngineServer.h"

#include <csignal>
#include <cstdio>

int main(int argc, char** argv) {
    const server::CommandLine line = server::ParseCommandLine(argc, argv);
    if (line.action == server::CommandLine::Action::Help) {
        std::fputs(server::UsageText(), stdout);
        return 0;
    }
    if (line.action == server::CommandLine::Action::UsageError) {
        std::fprintf(stderr, "quillmate-server: %s\n\n%s", line.error.c_str(), server::UsageText());
        return 2;
    }
    // A client that goes away mid-answer must not end the server.
    std::signal(SIGPIPE, SIG_IGN);
    server::EngineServer engineServer(line.options);
    std::string error;
    if (!engineServer.Bind(error)) {
        std::fprintf(stderr, "quillmate-server: %s\n", error.c_str());
        return 1;
    }
    // Whoever started us reads this line to learn where we are.
    std::printf("%s\n", engineServer.BaseUrl().c_str());
    std::fflush(stdout);
    engineServer.Serve();
    return 0;
}
