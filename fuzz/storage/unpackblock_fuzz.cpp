// The first two bytes choose the output room; the rest is a block body. The
// decoder may refuse it but must never step outside either buffer. The same
// bytes, packed as data, must come back unchanged.
#include "storage/FSSFPack.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const size_t room = size_t(data[0] | data[1] << 8) * 2;
    // Exact-size heap buffers, so AddressSanitizer sees any overrun.
    std::vector<uint8_t> body(data + 2, data + size);
    std::vector<uint8_t> out(room);
    const int32_t length = int32_t(body.size() > 65535 ? 65535 : body.size());
    const int64_t n = FSSFPack::UnpackBlock(body.data(), length, out.data(), int64_t(room));
    if (n > int64_t(room))
        std::abort();

    const size_t chunk =
        body.size() > size_t(FSSFPack::BlockSize) ? FSSFPack::BlockSize : body.size();
    std::vector<uint8_t> packed(chunk + 2);
    const int32_t b = FSSFPack::PackBlock(body.data(), int32_t(chunk), packed.data());
    if (b > int32_t(chunk) + 2)
        std::abort();
    std::vector<uint8_t> back(chunk);
    if (FSSFPack::UnpackBlock(packed.data(), b, back.data(), int64_t(chunk)) != int64_t(chunk) ||
        (chunk && std::memcmp(back.data(), body.data(), chunk) != 0))
        std::abort();
    return 0;
}
