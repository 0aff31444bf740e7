#include "server/ServerOptions.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace server {

namespace {

bool ParseNumber(std::string_view text, int low, int high, int& out) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return false;
    out = value;
    return true;
}

// HOST:PORT, with an IPv6 host in brackets.
bool ParseListen(std::string_view text, ServerOptions& options) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0)
        return false;
    std::string_view host = text.substr(0, colon);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']')
            return false;
        host = host.substr(1, host.size() - 2);
    }
    options.host = std::string(host);
    return ParseNumber(text.substr(colon + 1), 0, 65535, options.port);
}

// The token becomes a path segment: keep it to characters a URL carries as
// they are.
bool ValidToken(std::string_view token) {
    if (token.empty() || token.size() > 256)
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
    return "Usage: quillmate-server [--listen HOST:PORT] [--token TOKEN] [--idle-exit SECONDS]\n"
           "                        [--workers N]\n"
           "\n"
           "Serves Quillmate's text recognition (POST /ocrapi1, /getocr) and read aloud\n"
           "(POST /gettts) over HTTP/1.1 with Tesseract and espeak-ng.\n"
           "\n"
           "  --listen HOST:PORT   address to listen on (default 127.0.0.1:0); port 0 picks\n"
           "                       a free port. Only loopback unless you name another host.\n"
           "  --token TOKEN        serve every path under /TOKEN/ and answer anything else\n"
           "                       with 404 (letters, digits, - and _)\n"
           "  --idle-exit SECONDS  exit after this long without a request (default: never)\n"
           "  --workers N          recognition and speech threads (default: one per core,\n"
           "                       at least 2)\n"
           "  --help               show this text\n"
           "\n"
           "The first line of standard output is the base URL, for example\n"
           "http://127.0.0.1:41234/ or, with a token, http://127.0.0.1:41234/TOKEN/.\n";
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
        if (arg != "--listen" && arg != "--token" && arg != "--idle-exit" && arg != "--workers")
            return fail("unknown option: " + std::string(arg));
        if (i + 1 >= argc)
            return fail(std::string(arg) + " needs a value");
        const std::string_view value = argv[++i];
        int number = 0;
        if (arg == "--listen" && !ParseListen(value, line.options))
            return fail("--listen wants HOST:PORT, got " + std::string(value));
        if (arg == "--token") {
            if (!ValidToken(value))
                return fail("--token wants 1 to 256 letters, digits, - or _");
            line.options.token = std::string(value);
        }
        if (arg == "--idle-exit") {
            if (!ParseNumber(value, 0, 365 * 24 * 3600, number))
                return fail("--idle-exit wants a number of seconds");
            line.options.idleExitSeconds = number;
        }
        if (arg == "--workers") {
            if (!ParseNumber(value, 1, 64, number))
                return fail("--workers wants 1 to 64");
            line.options.workers = static_cast<unsigned>(number);
        }
    }
    return line;
}

} // namespace server
