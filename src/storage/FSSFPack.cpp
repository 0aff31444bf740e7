#include "storage/FSSFPack.h"

#include <cstring>

namespace FSSFPack {
namespace {

inline uint32_t Get16(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}

inline void Put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

inline void Put32(uint8_t* p, uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

// memcpy with a null pointer is undefined even for no bytes, and an empty
// output buffer may well be null.
inline void Copy(uint8_t* to, const uint8_t* from, size_t n) {
    if (n)
        std::memcpy(to, from, n);
}

// Start of the first stretch of `need` equal bytes at or after i that lies
// wholly before n; n when there is none.
inline int32_t FindRun(const uint8_t* s, int32_t i, int32_t n, int32_t need) {
    const int32_t last = n - need; // a run may start at last at the latest
    while (i <= last) {
        if (s[i] != s[i + 1]) {
            ++i;
            continue;
        }
        // s[i] == s[i+1]: check the rest, and on a mismatch resume at the
        // mismatching byte, since no run can start before it.
        int32_t k = 2;
        while (k < need && s[i + k] == s[i])
            ++k;
        if (k == need)
            return i;
        i += k;
    }
    return n;
}

inline int32_t RunEnd(const uint8_t* s, int32_t i, int32_t n) {
    const uint8_t f = s[i];
    int32_t k = i + 1;
    while (k < n && s[k] == f)
        ++k;
    return k;
}

// Writes count = L - 1 as one byte, or as a 0 byte and 16 bits when over 255.
inline uint8_t* PutCount(uint8_t* out, int32_t count) {
    if (count <= 255) {
        *out++ = uint8_t(count);
    } else {
        *out++ = 0;
        Put16(out, uint32_t(count));
        out += 2;
    }
    return out;
}

} // namespace

int64_t PackBufferBound(int64_t n) {
    const int64_t blocks = (n + BlockSize - 1) / BlockSize;
    return 4 + n + 4 * blocks;
}

int64_t PackBuffer(const uint8_t* source, int32_t n, uint8_t* destination) {
    Put32(destination, uint32_t(n));
    uint8_t* out = destination + 4;
    for (int32_t at = 0; at < n; at += BlockSize) {
        const int32_t len = n - at < BlockSize ? n - at : BlockSize;
        const int32_t body = PackBlock(source + at, len, out + 2);
        Put16(out, uint32_t(body));
        out += 2 + body;
    }
    return out - destination;
}

int32_t PackBlock(const uint8_t* s, int32_t n, uint8_t* body) {
    // Four tables break the store-to-load chain on repeated values.
    uint8_t seen[4][256] = {};
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        seen[0][s[i]] = 1;
        seen[1][s[i + 1]] = 1;
        seen[2][s[i + 2]] = 1;
        seen[3][s[i + 3]] = 1;
    }
    for (; i < n; ++i)
        seen[0][s[i]] = 1;
    int escape = -1;
    for (int v = 0; v < 256; ++v) {
        if (!(seen[0][v] | seen[1][v] | seen[2][v] | seen[3][v])) {
            escape = v;
            break;
        }
    }

    uint8_t* out = body + 2;
    if (escape >= 0) {
        Put16(body, uint32_t(escape));
        i = 0;
        while (i < n) {
            const int32_t run = FindRun(s, i, n, 4);
            std::memcpy(out, s + i, size_t(run - i));
            out += run - i;
            if (run == n)
                break;
            const int32_t end = RunEnd(s, run, n);
            *out++ = uint8_t(escape);
            *out++ = s[run];
            out = PutCount(out, end - run - 1);
            i = end;
        }
        return int32_t(out - body);
    }

    // Run-table mode: the fill byte stands as a literal, its count follows,
    // and the count's offset goes into the table.
    uint16_t table[BlockSize / 5 + 1];
    int32_t runs = 0;
    i = 0;
    while (i < n) {
        const int32_t run = FindRun(s, i, n, 5);
        if (run == n) {
            std::memcpy(out, s + i, size_t(n - i));
            out += n - i;
            break;
        }
        std::memcpy(out, s + i, size_t(run + 1 - i));
        out += run + 1 - i;
        const int32_t end = RunEnd(s, run, n);
        table[runs++] = uint16_t(out - body);
        out = PutCount(out, end - run - 1);
        i = end;
    }
    Put16(body, uint32_t(out - body));
    while (runs > 0) {
        Put16(out, table[--runs]);
        out += 2;
    }
    return int32_t(out - body);
}

int64_t UnpackBlock(const uint8_t* body, int32_t bodyLength, uint8_t* destination,
                    int64_t capacity) {
    if (bodyLength < 2)
        return -1;
    const uint32_t h = Get16(body);
    uint8_t* out = destination;
    uint8_t* const outEnd = destination + capacity;

    if (h < 256) {
        const uint8_t e = uint8_t(h);
        const uint8_t* p = body + 2;
        const uint8_t* const end = body + bodyLength;
        while (p < end) {
            const uint8_t* q = static_cast<const uint8_t*>(std::memchr(p, e, size_t(end - p)));
            if (!q)
                q = end;
            if (q - p > outEnd - out)
                return -1;
            Copy(out, p, size_t(q - p));
            out += q - p;
            if (q == end)
                break;
            if (end - q < 3)
                return -1;
            const uint8_t fill = q[1];
            uint32_t count = q[2];
            p = q + 3;
            if (count == 0) {
                if (end - p < 2)
                    return -1;
                count = Get16(p);
                p += 2;
            }
            if (int64_t(count) + 1 > outEnd - out)
                return -1;
            std::memset(out, fill, count + 1);
            out += count + 1;
        }
        return out - destination;
    }

    // Run-table mode. Walking the table from its end gives rising offsets;
    // each must lie past the previous run and inside the data part.
    if (h > uint32_t(bodyLength) || (uint32_t(bodyLength) - h) % 2 != 0)
        return -1;
    uint32_t p = 2;
    for (int32_t t = bodyLength - 2; t >= int32_t(h); t -= 2) {
        const uint32_t at = Get16(body + t);
        if (at < p + 1 || at >= h)
            return -1;
        const uint32_t literals = at - 1 - p;
        if (int64_t(literals) > outEnd - out)
            return -1;
        Copy(out, body + p, literals);
        out += literals;
        const uint8_t fill = body[at - 1];
        uint32_t count = body[at];
        p = at + 1;
        if (count == 0) {
            if (p + 2 > h)
                return -1;
            count = Get16(body + p);
            p += 2;
        }
        if (int64_t(count) + 1 > outEnd - out)
            return -1;
        std::memset(out, fill, count + 1);
        out += count + 1;
    }
    if (int64_t(h - p) > outEnd - out)
        return -1;
    Copy(out, body + p, h - p);
    out += h - p;
    return out - destination;
}

int64_t UnpackBuffer(const uint8_t* blocks, int64_t length, uint8_t* destination,
                     int64_t capacity) {
    int64_t in = 0;
    int64_t written = 0;
    while (in < length) {
        if (length - in < 2)
            return -1;
        const int32_t b = int32_t(Get16(blocks + in));
        in += 2;
        if (b > length - in)
            return -1;
        const int64_t got = UnpackBlock(blocks + in, b, destination + written, capacity - written);
        if (got < 0)
            return -1;
        written += got;
        in += b;
    }
    return written;
}

} // namespace FSSFPack
