#include "http/auLogin.h"

#include <cstdint>

namespace {

// Scrambling constant of the stored credentials.
constexpr uint8_t kLInfoKey = 0x5A;

} // namespace

QByteArray TauLoginComponent::WriteLInfo() const {
    if (Username.isEmpty() && Password.isEmpty())
        return {};
    const QByteArray user = Username.toLatin1(), pass = Password.toLatin1();
    if (user.size() + pass.size() > 126)
        return {}; // the length byte could not hold it
    const auto n = static_cast<uint8_t>(user.size() + pass.size() + 1);
    const uint8_t mask = n ^ kLInfoKey;
    QByteArray out;
    out.reserve(n + 1);
    out += static_cast<char>(n);
    out += static_cast<char>(static_cast<uint8_t>(user.size()) ^ mask);
    for (char c : user + pass)
        out += static_cast<char>(static_cast<uint8_t>(c) ^ mask);
    return out;
}

bool TauLoginComponent::ReadLInfo(const QByteArray& data) {
    if (data.isEmpty())
        return false;
    const auto n = static_cast<uint8_t>(data[0]);
    if (n == 0 || data.size() < 1 + n)
        return false;
    const uint8_t mask = n ^ kLInfoKey;
    QByteArray plain = data.mid(1, n);
    for (char& c : plain)
        c = static_cast<char>(static_cast<uint8_t>(c) ^ mask);
    const auto userLength = static_cast<uint8_t>(plain[0]);
    if (userLength > n - 1)
        return false;
    Username = QString::fromLatin1(plain.mid(1, userLength));
    Password = QString::fromLatin1(plain.mid(1 + userLength));
    return true;
}
