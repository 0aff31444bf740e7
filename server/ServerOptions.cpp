#include "server/ServerOptions.h"

#include <cerrno>
#include <charconv>
#include <string_view>
#include <unistd.h>

namespace server {

namespace {

constexpr std::size_t kMaxTokenBytes = 256;

bool ParseNumber(std::string_view text, int low, int high, int& out) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return false;
    out = value;
    return true;
}

// The token becomes a path segment: keep it to characters a URL carries as
// they are.
bool ValidToken(std::string_view token) {
    if (token.empty() || token.size() > kMaxTokenBytes)
        return false;
    for (char c : token) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

const char* UsageText() {
    return "Usage: quillmate-server [--listen HOST:PORT | --listen unix:PATH]...\n"
           "                        [--token TOKEN | --token-stdin] [--idle-exit SECONDS]\n"
           "                        [--workers N] [--max-connections N]\n"
           "                        [--max-client-connections N]\n"
           "\n"
           "Serves Quillmate's text recognition (POST /ocrapi1, /getocr) and read aloud\n"
           "(POST /gettts) over HTTP/1.1 with Tesseract and espeak-ng.\n"
           "\n"
           "  --listen HOST:PORT   address to listen on (default 127.0.0.1:0); port 0 picks\n"
           "                       a free port. Only loopback unless you name another host.\n"
           "  --listen unix:PATH   a Unix socket, mode 0600; only this user's processes are\n"
           "                       served. A dead socket of this user at PATH is replaced,\n"
           "                       anything else there is refused. --listen may be repeated.\n"
           "  --token TOKEN        serve every path under /TOKEN/ and answer anything else\n"
           "                       with 404 (letters, digits, - and _). Other users see it\n"
           "                       in the process list: prefer --token-stdin.\n"
           "  --token-stdin        read the token from the first line of standard input\n"
           "  --idle-exit SECONDS  exit after this long without a request (default: never)\n"
           "  --workers N          recognition and speech threads (default: one per core,\n"
           "                       at least 2)\n"
           "  --max-connections N  open connections in all (default 256)\n"
           "  --max-client-connections N\n"
           "                       open connections per client address or user (default 64)\n"
           "  --help               show this text\n"
           "\n"
           "The first line of standard output is the base URL, for example\n"
           "http://127.0.0.1:41234/TOKEN/, or for a Unix socket the socket and the URL to\n"
           "use through it: unix:PATH http://localhost/TOKEN/. One line per --listen.\n";
}

CommandLine ParseCommandLine(int argc, const char* const* argv) {
    CommandLine line;
    auto fail = [&](std::string error) {
        line.action = CommandLine::Action::UsageError;
        line.error = std::move(error);
        return line;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            line.action = CommandLine::Action::Help;
            return line;
        }
        if (arg == "--token-stdin") {
            line.options.tokenFromStdin = true;
            continue;
        }
        if (arg != "--listen" && arg != "--token" && arg != "--idle-exit" && arg != "--workers" &&
            arg != "--max-connections" && arg != "--max-client-connections")
            return fail("unknown option: " + std::string(arg));
        if (i + 1 >= argc)
            return fail(std::string(arg) + " needs a value");
        const std::string_view value = argv[++i];
        int number = 0;
        if (arg == "--listen") {
            httpserver::ListenAddress address;
            std::string error;
            if (!httpserver::ParseListenAddress(value, address, error))
                return fail("--listen " + std::string(value) + ": " + error);
            line.options.listen.push_back(std::move(address));
        } else if (arg == "--token") {
            if (!ValidToken(value))
                return fail("--token wants 1 to 256 letters, digits, - or _");
            line.options.token = std::string(value);
        } else if (arg == "--idle-exit") {
            if (!ParseNumber(value, 0, 365 * 24 * 3600, number))
                return fail("--idle-exit wants a number of seconds");
            line.options.idleExitSeconds = number;
        } else if (arg == "--workers") {
            if (!ParseNumber(value, 1, 64, number))
                return fail("--workers wants 1 to 64");
            line.options.workers = static_cast<unsigned>(number);
        } else if (arg == "--max-connections" || arg == "--max-client-connections") {
            if (!ParseNumber(value, 1, 100000, number))
                return fail(std::string(arg) + " wants 1 to 100000");
            (arg == "--max-connections" ? line.options.maxConnections
                                        : line.options.maxClientConnections) =
                static_cast<unsigned>(number);
        }
    }
    if (line.options.tokenFromStdin && !line.options.token.empty())
        return fail("--token and --token-stdin exclude each other");
    return line;
}

bool ReadTokenLine(int fd, std::string& token, std::string& error) {
    std::string line;
    char c = 0;
    while (line.size() <= kMaxTokenBytes + 1) {
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || c == '\n')
            break;
        line += c;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.empty()) {
        error = "--token-stdin: no token on standard input";
        return false;
    }
    if (!ValidToken(line)) {
        error = "--token-stdin: the token must be 1 to 256 letters, digits, - or _";
        return false;
    }
    token = std::move(line);
    return true;
}

} // namespace server
