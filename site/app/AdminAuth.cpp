#include "AdminAuth.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

namespace site {

namespace {

std::string Hex(const unsigned char* bytes, std::size_t size) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        out += kHex[bytes[i] >> 4];
        out += kHex[bytes[i] & 15];
    }
    return out;
}

std::string Sha256(std::string_view data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(data.data(), data.size(), digest, &size, EVP_sha256(), nullptr);
    return std::string(reinterpret_cast<char*>(digest), size);
}

std::string HmacSha256(std::string_view key, std::string_view data) {
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    HMAC(EVP_sha256(), key.data(), int(key.size()),
         reinterpret_cast<const unsigned char*>(data.data()), data.size(), mac, &size);
    return std::string(reinterpret_cast<char*>(mac), size);
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

} // namespace

AdminAuth::AdminAuth(const std::string& token)
    : key_(HmacSha256(token, "quillmate-site admin session")), tokenDigest_(Sha256(token)) {}

bool AdminAuth::TokenMatches(std::string_view candidate) const {
    // Digests have one length, so the comparison says nothing about the token's.
    return SameText(Sha256(candidate), tokenDigest_);
}

std::string AdminAuth::Mac(std::string_view data) const {
    const std::string mac = HmacSha256(key_, data);
    return Hex(reinterpret_cast<const unsigned char*>(mac.data()), mac.size());
}

std::string AdminAuth::NewSession(std::int64_t nowSeconds) const {
    unsigned char nonce[16];
    RAND_bytes(nonce, sizeof nonce);
    const std::string body =
        std::to_string(nowSeconds + kSessionSeconds) + "." + Hex(nonce, sizeof nonce);
    return body + "." + Mac(body);
}

bool AdminAuth::SessionValid(std::string_view value, std::int64_t nowSeconds) const {
    const std::size_t macAt = value.rfind('.');
    if (macAt == std::string_view::npos || value.size() > 200)
        return false;
    const std::string_view body = value.substr(0, macAt);
    if (!SameText(Mac(body), value.substr(macAt + 1)))
        return false;
    std::int64_t expiry = 0;
    for (char c : body.substr(0, body.find('.'))) {
        if (c < '0' || c > '9')
            return false;
        expiry = expiry * 10 + (c - '0');
    }
    return nowSeconds < expiry;
}

std::string AdminAuth::CsrfFor(std::string_view session) const {
    return Mac("csrf:" + std::string(session)).substr(0, 32);
}

bool AdminAuth::CsrfValid(std::string_view session, std::string_view csrf) const {
    return SameText(CsrfFor(session), csrf);
}

std::string CookieValue(std::string_view header, std::string_view name) {
    while (!header.empty()) {
        const std::size_t end = header.find(';');
        std::string_view pair = header.substr(0, end);
        header = end == std::string_view::npos ? std::string_view() : header.substr(end + 1);
        while (!pair.empty() && pair.front() == ' ')
            pair.remove_prefix(1);
        const std::size_t eq = pair.find('=');
        if (eq != std::string_view::npos && pair.substr(0, eq) == name)
            return std::string(pair.substr(eq + 1));
    }
    return {};
}

} // namespace site
