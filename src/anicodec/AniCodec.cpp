#include "anicodec/AniCodec.h"

#include <QBuffer>
#include <QImageReader>
#include <algorithm>
#include <cstring>

namespace {

// Far beyond any real cursor; keeps hostile headers from sizing huge tables.
constexpr uint32_t kMaxSteps = 4096;
constexpr int kMaxSide = 256;

uint32_t Get16(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}
uint32_t Get32(const uint8_t* p) {
    return Get16(p) | Get16(p + 2) << 16;
}

void Put16(QByteArray& out, uint32_t v) {
    out.append(char(v));
    out.append(char(v >> 8));
}
void Put32(QByteArray& out, uint32_t v) {
    Put16(out, v);
    Put16(out, v >> 16);
}

struct Span {
    const uint8_t* p = nullptr;
    qsizetype n = 0;
};

bool Fail(QString* error, const char* why) {
    if (error)
        *error = QString::fromLatin1(why);
    return false;
}

// Takes a frame's decoded pixels out of what the file may still decode.
bool Spend(int64_t& budget, int width, int height) {
    const int64_t bytes = int64_t(width) * height * 4;
    if (bytes > budget)
        return false;
    budget -= bytes;
    return true;
}

bool DecodeBmp(Span img, TCursorFrame& frame, int64_t& budget, QString* error) {
    if (img.n < 40)
        return Fail(error, "frame header truncated");
    const uint32_t headerSize = Get32(img.p);
    const auto width = int32_t(Get32(img.p + 4));
    const auto height2 = int32_t(Get32(img.p + 8));
    const uint32_t bpp = Get16(img.p + 14);
    const uint32_t compression = Get32(img.p + 16);
    uint32_t colors = Get32(img.p + 32);
    if (headerSize < 40 || headerSize > uint64_t(img.n))
        return Fail(error, "bad frame header");
    if (width <= 0 || width > kMaxSide || height2 <= 0 || height2 > 2 * kMaxSide)
        return Fail(error, "bad frame size");
    if (compression != 0)
        return Fail(error, "compressed frame");
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32)
        return Fail(error, "unsupported bit depth");
    const int height = height2 / 2 > 0 ? height2 / 2 : height2;
    if (bpp <= 8) {
        if (colors == 0 || colors > (1u << bpp))
            colors = 1u << bpp;
    } else {
        colors = 0;
    }
    const qsizetype xorStride = ((qsizetype(width) * bpp + 31) / 32) * 4;
    const qsizetype andStride = ((qsizetype(width) + 31) / 32) * 4;
    const qsizetype palette = headerSize;
    const qsizetype xorAt = palette + qsizetype(colors) * 4;
    const qsizetype andAt = xorAt + xorStride * height;
    const bool hasMask = andAt + andStride * height <= img.n;
    if (andAt > img.n || (!hasMask && bpp != 32))
        return Fail(error, "frame pixels truncated");
    if (!Spend(budget, width, height))
        return Fail(error, "frames too large together");

    QImage image(width, height, QImage::Format_ARGB32);
    if (image.isNull())
        return Fail(error, "out of memory");
    bool anyAlpha = false;
    if (bpp == 32) {
        for (int y = 0; y < height; ++y) {
            const uint8_t* row = img.p + xorAt + xorStride * (height - 1 - y);
            for (int x = 0; x < width; ++x)
                anyAlpha |= row[x * 4 + 3] != 0;
        }
    }
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = img.p + xorAt + xorStride * (height - 1 - y);
        const uint8_t* mask = hasMask ? img.p + andAt + andStride * (height - 1 - y) : nullptr;
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const bool clear = mask && (mask[x / 8] >> (7 - x % 8) & 1);
            uint8_t r, g, b, a = clear ? 0 : 255;
            if (bpp >= 24) {
                const uint8_t* px = row + x * (bpp / 8);
                b = px[0];
                g = px[1];
                r = px[2];
                if (bpp == 32 && anyAlpha)
                    a = px[3];
            } else {
                const uint32_t index =
                    (row[x * bpp / 8] >> (8 - bpp - (x * bpp) % 8)) & ((1u << bpp) - 1);
                if (index >= colors)
                    return Fail(error, "colour index outside the palette");
                const uint8_t* c = img.p + palette + index * 4;
                b = c[0];
                g = c[1];
                r = c[2];
            }
            line[x] = qRgba(r, g, b, a);
        }
    }
    frame.Image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return !frame.Image.isNull() || Fail(error, "out of memory");
}

bool DecodePng(Span img, TCursorFrame& frame, int64_t& budget, QString* error) {
    QBuffer buffer;
    buffer.setData(QByteArray::fromRawData(reinterpret_cast<const char*>(img.p), img.n));
    buffer.open(QIODevice::ReadOnly);
    // The size comes from the PNG header, so an oversized frame costs nothing.
    QImageReader reader(&buffer, "PNG");
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > kMaxSide || size.height() > kMaxSide)
        return Fail(error, "bad PNG frame");
    if (!Spend(budget, size.width(), size.height()))
        return Fail(error, "frames too large together");
    const QImage png = reader.read();
    if (png.isNull() || png.size() != size)
        return Fail(error, "bad PNG frame");
    frame.Image = png.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return !frame.Image.isNull() || Fail(error, "out of memory");
}

bool DecodeIconFile(Span file, TCursorFrame& frame, int64_t& budget, QString* error) {
    if (file.n < 6 + 16)
        return Fail(error, "frame truncated");
    const uint32_t type = Get16(file.p + 2);
    if (Get16(file.p) != 0 || (type != 1 && type != 2) || Get16(file.p + 4) < 1)
        return Fail(error, "not a cursor image");
    const uint8_t* entry = file.p + 6;
    const uint32_t bytes = Get32(entry + 8);
    const uint32_t offset = Get32(entry + 12);
    if (offset > uint64_t(file.n) || bytes > uint64_t(file.n) - offset)
        return Fail(error, "frame image outside the file");
    const Span img{file.p + offset, qsizetype(bytes)};
    const bool png = img.n >= 8 && std::memcmp(img.p, "\x89PNG", 4) == 0;
    if (!(png ? DecodePng(img, frame, budget, error) : DecodeBmp(img, frame, budget, error)))
        return false;
    frame.HotSpot = type == 2 ? QPoint(int(Get16(entry + 4)), int(Get16(entry + 6))) : QPoint();
    frame.HotSpot.rx() = std::min(frame.HotSpot.x(), frame.Image.width() - 1);
    frame.HotSpot.ry() = std::min(frame.HotSpot.y(), frame.Image.height() - 1);
    return true;
}

QByteArray CurFile(const TCursorFrame& frame) {
    const QImage image = frame.Image.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width();
    const int h = image.height();
    const int andStride = ((w + 31) / 32) * 4;
    const uint32_t imageBytes = uint32_t(40 + w * h * 4 + andStride * h);

    QByteArray out;
    Put16(out, 0);
    Put16(out, 2); // cursor
    Put16(out, 1);
    out.append(char(w >= 256 ? 0 : w));
    out.append(char(h >= 256 ? 0 : h));
    out.append('\0');
    out.append('\0');
    Put16(out, uint32_t(frame.HotSpot.x()));
    Put16(out, uint32_t(frame.HotSpot.y()));
    Put32(out, imageBytes);
    Put32(out, 22);

    Put32(out, 40);
    Put32(out, uint32_t(w));
    Put32(out, uint32_t(h * 2));
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, 0);
    Put32(out, uint32_t(w * h * 4 + andStride * h));
    for (int i = 0; i < 4; ++i)
        Put32(out, 0);
    for (int y = h - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            out.append(char(qBlue(line[x])));
            out.append(char(qGreen(line[x])));
            out.append(char(qRed(line[x])));
            out.append(char(qAlpha(line[x])));
        }
    }
    for (int y = h - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        QByteArray row(andStride, '\0');
        for (int x = 0; x < w; ++x) {
            if (qAlpha(line[x]) == 0)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        }
        out.append(row);
    }
    return out;
}

void Chunk(QByteArray& out, const char* id, const QByteArray& body) {
    out.append(id, 4);
    Put32(out, uint32_t(body.size()));
    out.append(body);
    if (body.size() % 2)
        out.append('\0');
}

} // namespace

bool ReadAniCursor(QByteArrayView data, TAniCursorData& out, QString* error) {
    out = {};
    if (data.size() > AniLimits::MaxFileBytes)
        return Fail(error, "file too large");
    const auto* base = reinterpret_cast<const uint8_t*>(data.data());
    if (data.size() < 12 || std::memcmp(base, "RIFF", 4) != 0 ||
        std::memcmp(base + 8, "ACON", 4) != 0)
        return Fail(error, "not an animated cursor");
    const qsizetype end = std::min<qsizetype>(data.size(), 8 + qsizetype(Get32(base + 4)));

    bool haveHeader = false;
    uint32_t frames = 0, steps = 0, rate = 0, flags = 0;
    Span rates, seq;
    std::vector<Span> icons;
    // Chunks are walked with one cursor; a LIST "fram" is entered in place.
    qsizetype at = 12;
    qsizetype listEnd = end;
    bool inFrames = false;
    while (at + 8 <= end) {
        if (inFrames && at + 8 > listEnd) {
            at = listEnd;
            inFrames = false;
            continue;
        }
        const uint8_t* id = base + at;
        const uint32_t size = Get32(base + at + 4);
        const qsizetype bodyAt = at + 8;
        const qsizetype limit = inFrames ? listEnd : end;
        if (size > uint64_t(limit - bodyAt))
            return Fail(error, "chunk runs past the file");
        const Span body{base + bodyAt, qsizetype(size)};
        const qsizetype next = bodyAt + size + (size & 1);
        if (inFrames) {
            // Frames past the cap are never decoded, so they need no entry.
            if (std::memcmp(id, "icon", 4) == 0 && icons.size() < AniLimits::MaxFrames)
                icons.push_back(body);
            at = next;
            if (at >= listEnd) {
                at = listEnd;
                inFrames = false;
            }
            continue;
        }
        if (std::memcmp(id, "anih", 4) == 0) {
            if (size < 36)
                return Fail(error, "short header");
            frames = Get32(body.p + 4);
            steps = Get32(body.p + 8);
            rate = Get32(body.p + 28);
            flags = Get32(body.p + 32);
            haveHeader = true;
        } else if (std::memcmp(id, "rate", 4) == 0) {
            rates = body;
        } else if (std::memcmp(id, "seq ", 4) == 0) {
            seq = body;
        } else if (std::memcmp(id, "LIST", 4) == 0 && size >= 4 &&
                   std::memcmp(body.p, "fram", 4) == 0) {
            inFrames = true;
            listEnd = bodyAt + size;
            at = bodyAt + 4;
            continue;
        }
        at = next;
    }

    if (!haveHeader)
        return Fail(error, "no header");
    if (!(flags & 1))
        return Fail(error, "raw bitmap frames are not supported");
    if (frames > AniLimits::MaxFrames)
        return Fail(error, "too many frames");
    if (frames == 0 || icons.size() < frames)
        return Fail(error, "frames missing");
    if (steps == 0)
        steps = frames;
    if (steps > kMaxSteps)
        return Fail(error, "too many steps");
    const bool useSeq = (flags & 2) && seq.p;
    if ((flags & 2) && !useSeq)
        return Fail(error, "sequence missing");
    if (useSeq && seq.n < qsizetype(steps) * 4)
        return Fail(error, "sequence truncated");
    if (rates.p && rates.n < qsizetype(steps) * 4)
        return Fail(error, "rates truncated");
    if (!useSeq && steps > frames)
        return Fail(error, "more steps than frames");

    out.Frames.resize(frames);
    int64_t budget = AniLimits::MaxDecodedBytes;
    for (uint32_t i = 0; i < frames; ++i) {
        if (!DecodeIconFile(icons[i], out.Frames[i], budget, error))
            return false;
    }
    out.Steps.resize(steps);
    for (uint32_t i = 0; i < steps; ++i) {
        TCursorStep& s = out.Steps[i];
        s.Frame = useSeq ? int(Get32(seq.p + i * 4)) : int(i);
        if (uint32_t(s.Frame) >= frames)
            return Fail(error, "sequence names a missing frame");
        const uint32_t j = rates.p ? Get32(rates.p + i * 4) : rate;
        s.Jiffies = int(std::clamp<uint32_t>(j, 1, 6000));
    }
    return true;
}

QByteArray WriteAniCursor(const TAniCursorData& cursor) {
    const auto steps = uint32_t(cursor.Steps.size());
    const auto frames = uint32_t(cursor.Frames.size());
    bool inOrder = steps == frames;
    bool sameRate = true;
    for (uint32_t i = 0; i < steps; ++i) {
        inOrder &= cursor.Steps[i].Frame == int(i);
        sameRate &= cursor.Steps[i].Jiffies == cursor.Steps[0].Jiffies;
    }
    const QSize size = frames ? cursor.Frames[0].Image.size() : QSize();

    QByteArray header;
    Put32(header, 36);
    Put32(header, frames);
    Put32(header, steps);
    Put32(header, uint32_t(size.width()));
    Put32(header, uint32_t(size.height()));
    Put32(header, 32);
    Put32(header, 1);
    Put32(header, steps ? uint32_t(cursor.Steps[0].Jiffies) : 1);
    Put32(header, 1u | (inOrder ? 0u : 2u));

    QByteArray body("ACON", 4);
    Chunk(body, "anih", header);
    if (!sameRate) {
        QByteArray rate;
        for (const TCursorStep& s : cursor.Steps)
            Put32(rate, uint32_t(s.Jiffies));
        Chunk(body, "rate", rate);
    }
    if (!inOrder) {
        QByteArray seq;
        for (const TCursorStep& s : cursor.Steps)
            Put32(seq, uint32_t(s.Frame));
        Chunk(body, "seq ", seq);
    }
    QByteArray list("fram", 4);
    for (const TCursorFrame& f : cursor.Frames)
        Chunk(list, "icon", CurFile(f));
    Chunk(body, "LIST", list);

    QByteArray out;
    Chunk(out, "RIFF", body);
    return out;
}
