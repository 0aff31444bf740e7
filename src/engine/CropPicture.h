#pragma once

#include "engine/EngineResult.h"

#include <memory>
#include <string_view>

struct Pix;

namespace engine {

// A screen is at most a few thousand pixels a side; past these a header is
// refused before a single pixel is allocated. Three 4K screens side by side
// fit. At the limit a PNG with alpha takes 200 MB while it is decoded (what
// recognition takes is in RecognitionMemory.h).
inline constexpr int kMaxCropSide = 10000;
inline constexpr long long kMaxCropPixels = 25'000'000;

enum class PictureFormat { Jpeg, Png, Bmp };

// What a picture's header says, before anything is decoded.
struct CropHeader {
    Error error;
    PictureFormat format = PictureFormat::Jpeg;
    long long width = 0, height = 0;
    int channels = 0;         // JPEG components or PNG samples per pixel; 0 for BMP
    bool palette = false;     // a PNG of palette colours
    bool wholeBuffer = false; // a JPEG that libjpeg holds whole while decoding
};

struct PixDeleter {
    void operator()(Pix* pix) const;
};
using PixPtr = std::unique_ptr<Pix, PixDeleter>;

struct DecodedCrop {
    Error error;
    PixPtr pix;
};

// Reads a JPEG, PNG or BMP header from memory; any other format is refused
// on its signature (NotAPicture), a size past the limits above with
// TooLarge, a picture cut short with NotAPicture. Decodes nothing.
CropHeader ReadCropHeader(std::string_view bytes);

// Decodes a picture ReadCropHeader accepts. A picture cut short is refused
// quietly; other damage is refused too, and makes libjpeg or libpng print
// one line on stderr, which they do on their own.
DecodedCrop DecodeCrop(std::string_view bytes);

} // namespace engine
