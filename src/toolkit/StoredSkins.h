#pragma once

#include <cstddef>

// The skins' zlib streams, generated at build time from skins/*.qss.
struct StoredSkinBlob {
    const char* name;
    const unsigned char* data;
    std::size_t size;
    std::size_t rawSize;
};

extern const StoredSkinBlob kStoredSkins[];
extern const int kStoredSkinCount;
