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

// libjpeg keeps every coefficient of the picture while it decodes a
// progressive JPEG, or one whose first scan lacks components; otherwise a
// few rows. A header it cannot follow counts as the first kind.
bool BuffersWholeJpeg(const l_uint8* data, size_t size) {
    int components = 0;
    for (size_t at = 2; at + 4 < size;) {
        const l_uint8 marker = data[at + 1];
        if (data[at] != 0xFF)
            return true;
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) { // no length
            at += 2;
            continue;
        }
        const size_t length = (size_t(data[at + 2]) << 8) | data[at + 3];
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE ||
                at + 9 >= size)
                return true;
            components = data[at + 9];
        } else if (marker == 0xDA) {
            return components == 0 || data[at + 4] < components;
        }
        at += 2 + length;
    }
    return true;
}

} // namespace

CropHeader ReadCropHeader(std::string_view bytes) {
    CropHeader header;
    const auto refuse = [&header](Failure failure, std::string text) {
        header.error = {failure, std::move(text)};
        return header;
    };
    if (bytes.empty())
        return refuse(Failure::NotAPicture, "empty picture");
    const auto* data = reinterpret_cast<const l_uint8*>(bytes.data());
    const size_t size = bytes.size();
    l_int32 format = IFF_UNKNOWN;
    // Only the signature is read; other formats never reach a decoder.
    if (size < 32 || findFileFormatBuffer(data, &format) != 0 ||
        (format != IFF_JFIF_JPEG && format != IFF_PNG && format != IFF_BMP))
        return refuse(Failure::NotAPicture, "not a JPEG, PNG or BMP picture");

    if (format == IFF_BMP) {
        header.format = PictureFormat::Bmp;
        if (!BmpSize(data, size, header.width, header.height))
            return refuse(Failure::NotAPicture, "damaged BMP header");
    } else {
        header.format = format == IFF_PNG ? PictureFormat::Png : PictureFormat::Jpeg;
        l_int32 read = 0, w = 0, h = 0, bps = 0, spp = 0, colormap = 0;
        if (pixReadHeaderMem(data, size, &read, &w, &h, &bps, &spp, &colormap) != 0)
            return refuse(Failure::NotAPicture, "damaged picture header");
        header.width = w;
        header.height = h;
        header.channels = spp;
        header.palette = colormap != 0;
        header.wholeBuffer = format == IFF_JFIF_JPEG && BuffersWholeJpeg(data, size);
    }
    if (header.width == 0 || header.height == 0)
        return refuse(Failure::NotAPicture, "picture without pixels");
    if (header.width > kMaxCropSide || header.height > kMaxCropSide ||
        header.width * header.height > kMaxCropPixels)
        return refuse(Failure::TooLarge, "picture of " + std::to_string(header.width) + " x " +
                                             std::to_string(header.height) +
                                             " pixels is too large");
    if (!Complete(format, data, size))
        return refuse(Failure::NotAPicture, "truncated picture");
    return header;
}

DecodedCrop DecodeCrop(std::string_view bytes) {
    const CropHeader header = ReadCropHeader(bytes);
    if (header.error)
        return {header.error, nullptr};
    const auto* data = reinterpret_cast<const l_uint8*>(bytes.data());
    const size_t size = bytes.size();
    const long long width = header.width, height = header.height;

    Pix* pix = nullptr;
    if (header.format == PictureFormat::Jpeg) {
        l_int32 warnings = 0;
        // The default hint fails on damaged data instead of returning a grey tail.
        pix = pixReadMemJpeg(data, size, 0, 1, &warnings, 0);
    } else if (header.format == PictureFormat::Png) {
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
