#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace site {

// The admin page's login. The cookie carries its expiry and a random nonce
// signed with a key made from the token, so every site server sharing the
// token accepts it and nothing is stored; changing the token ends every
// session.
class AdminAuth {
public:
    explicit AdminAuth(const std::string& token);

    static constexpr std::int64_t kSessionSeconds = 12 * 3600;

    // Compares in constant time.
    bool TokenMatches(std::string_view candidate) const;
    // A new session cookie value, valid for kSessionSeconds from now.
    std::string NewSession(std::int64_t nowSeconds) const;
    bool SessionValid(std::string_view value, std::int64_t nowSeconds) const;
    // The value the session's forms must carry back (against cross-site posts).
    std::string CsrfFor(std::string_view session) const;
    bool CsrfValid(std::string_view session, std::string_view csrf) const;

private:
    std::string Mac(std::string_view data) const;

    std::string key_;
    std::string tokenDigest_;
};

// The value of one cookie in a Cookie header, or empty.
std::string CookieValue(std::string_view header, std::string_view name);

} // namespace site
