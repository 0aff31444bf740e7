#pragma once

#include "engine/EngineResult.h"

#include <memory>
#include <string_view>

struct Pix;

namespace engine {

// A screen is at most a few thousand pixels a side; past these a header is
// refused before a single pixel is allocated.
inline constexpr int kMaxCropSide = 10000;
inline constexpr long long kMaxCropPixels = 40'000'000;

struct PixDeleter {
    void operator()(Pix* pix) const;
};
using PixPtr = std::unique_ptr<Pix, PixDeleter>;

struct DecodedCrop {
    Error error;
    PixPtr pix;
};

// Decodes a JPEG, PNG or BMP picture from memory; any other format is
// refused on its signature, before a decoder sees it. The size is read from
// the header and checked against the limits above before decoding (at the
// limit a decoded picture takes 160 MB). A picture cut short is refused
// quietly; other damage is refused too, and makes libjpeg or libpng print
// one line on stderr, which they do on their own.
DecodedCrop DecodeCrop(std::string_view bytes);

} // namespace engine
