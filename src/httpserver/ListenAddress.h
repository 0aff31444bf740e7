#pragma once

#include <string>
#include <string_view>

namespace httpserver {

// "HOST:PORT" (IPv4, or "[v6]:PORT"; port 0 picks a free one) or "unix:PATH".
struct ListenAddress {
    enum class Kind { Tcp, Unix } kind = Kind::Tcp;
    std::string host = "127.0.0.1";
    int port = 0;
    // Unix: created with mode 0600. A socket already there is replaced only when
    // it is ours and nobody answers on it; anything else there is refused.
    std::string path;
    // Unix: peers of another uid are hung up on before a byte is read.
    bool ownUidOnly = true;
};

bool ParseListenAddress(std::string_view text, ListenAddress& out, std::string& error);

} // namespace httpserver
