#include "httpserver/ListenAddress.h"

#include <charconv>

namespace httpserver {

bool ParseListenAddress(std::string_view text, ListenAddress& out, std::string& error) {
    if (text.substr(0, 5) == "unix:") {
        const std::string_view path = text.substr(5);
        if (path.empty() || path.find('\0') != std::string_view::npos) {
            error = "unix: wants a socket path";
            return false;
        }
        out = {};
        out.kind = ListenAddress::Kind::Unix;
        out.path = std::string(path);
        return true;
    }
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0) {
        error = "wants HOST:PORT or unix:PATH";
        return false;
    }
    std::string_view host = text.substr(0, colon);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') {
            error = "an IPv6 host goes in brackets: [::1]:PORT";
            return false;
        }
        host = host.substr(1, host.size() - 2);
    }
    const std::string_view portText = text.substr(colon + 1);
    int port = -1;
    const auto [end, ec] =
        std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (ec != std::errc() || end != portText.data() + portText.size() || port < 0 || port > 65535) {
        error = "the port is a number from 0 to 65535";
        return false;
    }
    out = {};
    out.host = std::string(host);
    out.port = port;
    return true;
}

} // namespace httpserver
