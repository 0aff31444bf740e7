#pragma once

#include "httpserver/ListenAddress.h"

#include <string>
#include <vector>

namespace server {

struct ServerOptions {
    std::vector<httpserver::ListenAddress> listen; // none: 127.0.0.1, any free port
    std::string token;
    bool tokenFromStdin = false;
    int idleExitSeconds = 0; // 0: never
    unsigned workers = 0;    // 0: one per core, at least two
    std::size_t maxWaitingJobs = 24;
    unsigned maxConnections = 256;
    unsigned maxClientConnections = 64;
};

struct CommandLine {
    enum class Action { Serve, Help, UsageError } action = Action::Serve;
    ServerOptions options;
    std::string error;
};

CommandLine ParseCommandLine(int argc, const char* const* argv);
const char* UsageText();

// The token as the first line of fd (a pipe from whoever starts the server),
// so it never shows in the process's arguments. False with the reason.
bool ReadTokenLine(int fd, std::string& token, std::string& error);

} // namespace server
