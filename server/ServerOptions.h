#pragma once

#include <optional>
#include <string>

namespace server {

struct ServerOptions {
    std::string host = "127.0.0.1";
    int port = 0; // 0: any free port
    std::string token;
    int idleExitSeconds = 0; // 0: never
    unsigned workers = 0;    // 0: one per core, at least two
};

struct CommandLine {
    enum class Action { Serve, Help, UsageError } action = Action::Serve;
    ServerOptions options;
    std::string error;
};

CommandLine ParseCommandLine(int argc, const char* const* argv);
const char* UsageText();

} // namespace server
