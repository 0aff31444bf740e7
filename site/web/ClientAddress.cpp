#include "siteweb/ClientAddress.h"

#include <algorithm>
#include <arpa/inet.h>

namespace siteweb {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

} // namespace

std::string NormalAddress(std::string_view text) {
    text = Trim(text);
    if (text.size() > 2 && text.front() == '[' && text.back() == ']')
        text = text.substr(1, text.size() - 2);
    if (text.empty() || text.size() >= INET6_ADDRSTRLEN)
        return {};
    const std::string copy(text);
    char out[INET6_ADDRSTRLEN];
    in_addr v4;
    if (inet_pton(AF_INET, copy.c_str(), &v4) == 1)
        return inet_ntop(AF_INET, &v4, out, sizeof out);
    in6_addr v6;
    if (inet_pton(AF_INET6, copy.c_str(), &v6) != 1)
        return {};
    if (IN6_IS_ADDR_V4MAPPED(&v6)) {
        std::copy(v6.s6_addr + 12, v6.s6_addr + 16, reinterpret_cast<unsigned char*>(&v4));
        return inet_ntop(AF_INET, &v4, out, sizeof out);
    }
    return inet_ntop(AF_INET6, &v6, out, sizeof out);
}

std::string ClientAddress(const std::string& peer, const std::vector<std::string>& forwardedFor,
                          const std::vector<std::string>& trustedProxies) {
    const std::string own = peer == "unix" ? peer : NormalAddress(peer);
    const bool trusted = !own.empty() && std::find(trustedProxies.begin(), trustedProxies.end(),
                                                   own) != trustedProxies.end();
    if (!trusted)
        return own.empty() ? peer : own;
    // Several header lines count as one list, in order.
    for (auto line = forwardedFor.rbegin(); line != forwardedFor.rend(); ++line) {
        std::string_view list = Trim(*line);
        if (list.empty())
            continue;
        const std::size_t comma = list.rfind(',');
        const std::string last =
            NormalAddress(comma == std::string_view::npos ? list : list.substr(comma + 1));
        return last.empty() ? own : last;
    }
    return own;
}

} // namespace siteweb
