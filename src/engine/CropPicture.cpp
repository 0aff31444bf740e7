#include "engine/CropPicture.h"

#include <cstdlib>
#include <cstring>
#include <leptonica/allheaders.h>
#include <string>

namespace engine {

void PixDeleter::operator()(Pix* pix) const {
    pixDestroy(&pix);
}

namespace {

DecodedCrop Refuse(Failure failure, std::string text) {
    return {{failure, std::move(text)}, nullptr};
}

unsigned Little(const l_uint8* p, int bytes) {
    unsigned value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | p[i];
    return value;
}

unsigned Big32(const l_uint8* p) {
    return (unsigned(p[0]) << 24) | (unsigned(p[1]) << 16) | (unsigned(p[2]) << 8) | p[3];
}

// Leptonica "reads the header" of a BMP by decoding all of it, so the size
// is taken from the header here.
bool BmpSize(const l_uint8* data, size_t size, long long& width, long long& height) {
    if (size < 26)
        return false;
    const unsigned header = Little(data + 14, 4);
    if (header == 12) { // OS/2 core header
        width = Little(data + 18, 2);
        height = Little(data + 20, 2);
        return true;
    }
    if (header < 40 || size < 26)
        return false;
    width = std::llabs(static_cast<int>(Little(data + 18, 4)));
    // Bottom-up and top-down pictures differ in the sign of the height.
    height = std::llabs(static_cast<int>(Little(data + 22, 4)));
    return true;
}

// The decoders report damage on stderr; the usual damage, a picture cut
// short, is caught here without a word.
bool Complete(int format, const l_uint8* data, size_t size) {
    if (format == IFF_JFIF_JPEG) {
        // Only the end-of-image marker can be 0xFF 0xD9 in a JPEG stream;
        // some writers pad after it.
        const size_t from = size > 1024 ? size - 1024 : 0;
        for (size_t i = size - 1; i > from; --i)
            if (data[i - 1] == 0xFF && data[i] == 0xD9)
                return true;
        return false;
    }
    if (format == IFF_PNG) {
        for (size_t at = 8; at + 12 <= size;) {
            const size_t length = Big32(data + at);
            if (length > size - at - 12)
                return false;
            if (std::memcmp(data + at + 4, "IEND", 4) == 0)
                return true;
            at += length + 12;
        }
        return false;
    }
    return true; // the BMP reader checks the pixel data's size itself, quietly
}

} // namespace

DecodedCrop DecodeCrop(std::string_view bytes) {
    if (bytes.empty())
        return Refuse(Failure::NotAPicture, "empty picture");
    const auto* data = reinterpret_cast<const l_uint8*>(bytes.data());
    const size_t size = bytes.size();
    l_int32 format = IFF_UNKNOWN;
    // Only the signature is read; other formats never reach a decoder.
    if (size < 32 || findFileFormatBuffer(data, &format) != 0 ||
        (format != IFF_JFIF_JPEG && format != IFF_PNG && format != IFF_BMP))
        return Refuse(Failure::NotAPicture, "not a JPEG, PNG or BMP picture");

    long long width = 0, height = 0;
    if (format == IFF_BMP) {
        if (!BmpSize(data, size, width, height))
            return Refuse(Failure::NotAPicture, "damaged BMP header");
    } else {
        l_int32 read = 0, w = 0, h = 0, bps = 0, spp = 0, colormap = 0;
        if (pixReadHeaderMem(data, size, &read, &w, &h, &bps, &spp, &colormap) != 0)
            return Refuse(Failure::NotAPicture, "damaged picture header");
        width = w;
        height = h;
    }
    if (width == 0 || height == 0)
        return Refuse(Failure::NotAPicture, "picture without pixels");
    if (width > kMaxCropSide || height > kMaxCropSide || width * height > kMaxCropPixels)
        return Refuse(Failure::TooLarge, "picture of " + std::to_string(width) + " x " +
                                             std::to_string(height) + " pixels is too large");
    if (!Complete(format, data, size))
        return Refuse(Failure::NotAPicture, "truncated picture");

    Pix* pix = nullptr;
    if (format == IFF_JFIF_JPEG) {
        l_int32 warnings = 0;
        // The default hint fails on damaged data instead of returning a grey tail.
        pix = pixReadMemJpeg(data, size, 0, 1, &warnings, 0);
    } else if (format == IFF_PNG) {
        pix = pixReadMemPng(data, size);
    } else {
        pix = pixReadMemBmp(data, size);
    }
    PixPtr decoded(pix);
    if (!decoded || pixGetWidth(pix) != width || pixGetHeight(pix) != height)
        return Refuse(Failure::NotAPicture, "damaged picture");
    return {{}, std::move(decoded)};
}

} // namespace engine
