#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace siteweb {

// An IPv4 or IPv6 address in its usual short form (an IPv4-mapped IPv6
// address as plain IPv4), or empty when the text is no address.
std::string NormalAddress(std::string_view text);

// The client of a request: the connection's address, or, when that is one
// of the trusted proxies, the last address of the X-Forwarded-For values
// (the one the proxy itself appended; earlier ones are the client's word).
// "unix" names a proxy on the Unix socket. A proxy that sent no usable
// address leaves its own.
std::string ClientAddress(const std::string& peer, const std::vector<std::string>& forwardedFor,
                          const std::vector<std::string>& trustedProxies);

} // namespace siteweb
