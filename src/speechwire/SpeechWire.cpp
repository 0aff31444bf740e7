#include "speechwire/SpeechWire.h"

#include <cstdint>
#include <cstring>

namespace speechwire {

namespace {

constexpr char kMagic[4] = {'Q', 'S', 'P', '1'};
// Far above what any voice library makes; a larger value is no rate but junk.
constexpr std::uint32_t kMaxRate = 384000;

} // namespace

Header MakeHeader(int sampleRate) {
    Header header{};
    std::memcpy(header.data(), kMagic, sizeof kMagic);
    const auto rate = static_cast<std::uint32_t>(sampleRate);
    for (int i = 0; i < 4; ++i)
        header[4 + i] = static_cast<char>((rate >> (8 * i)) & 0xFF);
    return header;
}

int ReadHeader(std::span<const char, kHeaderSize> bytes) {
    if (std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        return 0;
    std::uint32_t rate = 0;
    for (int i = 0; i < 4; ++i)
        rate |= std::uint32_t(static_cast<unsigned char>(bytes[4 + i])) << (8 * i);
    return rate <= kMaxRate ? static_cast<int>(rate) : 0;
}

} // namespace speechwire
