#include "storage/FSSFPack.h"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

namespace {

constexpr uint8_t kCanary = 0xA5;

Bytes Pack(const Bytes& in) {
    Bytes out(size_t(FSSFPack::PackBufferBound(int64_t(in.size()))) + 1, 0);
    out.back() = kCanary;
    const int64_t n = FSSFPack::PackBuffer(in.data(), int32_t(in.size()), out.data());
    EXPECT_EQ(out.back(), kCanary) << "packer wrote past its worst case";
    EXPECT_LE(n, FSSFPack::PackBufferBound(int64_t(in.size())));
    out.resize(size_t(n));
    return out;
}

// Decodes into a buffer of exactly the stored size with a canary behind it.
Bytes Unpack(const Bytes& packed) {
    EXPECT_GE(packed.size(), 4u);
    uint32_t size = 0;
    std::memcpy(&size, packed.data(), 4);
    Bytes out(size + 1, 0);
    out.back() = kCanary;
    const int64_t n = FSSFPack::UnpackBuffer(packed.data() + 4, int64_t(packed.size()) - 4,
                                             out.data(), int64_t(size));
    EXPECT_EQ(out.back(), kCanary) << "unpacker wrote past the stored size";
    EXPECT_EQ(n, int64_t(size));
    out.resize(size);
    return out;
}

Bytes Block(const Bytes& in) {
    Bytes body(in.size() + 2 + 1, 0);
    body.back() = kCanary;
    const int32_t n = FSSFPack::PackBlock(in.data(), int32_t(in.size()), body.data());
    EXPECT_EQ(body.back(), kCanary);
    body.resize(size_t(n));
    return body;
}

Bytes AllValues() {
    Bytes b(256);
    for (int i = 0; i < 256; ++i)
        b[size_t(i)] = uint8_t(i);
    return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Repeat(uint8_t v, size_t n) {
    return Bytes(n, v);
}

int Header(const Bytes& body) {
    return body[0] | body[1] << 8;
}

} // namespace

// Each case fixes the exact body PackBlock must produce.
TEST(FSSFPackBlock, EncodesExactly) {
    struct Case {
        const char* what;
        Bytes in;
        Bytes body;
    };
    const Case cases[] = {
        {"no zero byte: E = 0", {1, 2, 3}, {0, 0, 1, 2, 3}},
        {"E is the smallest absent value", {0, 1, 3}, {2, 0, 0, 1, 3}},
        {"three equal bytes stay literals", {7, 7, 7}, {0, 0, 7, 7, 7}},
        {"four equal bytes are a run in escape mode", {7, 7, 7, 7}, {0, 0, 0, 7, 3}},
        {"run of 256 takes count 255", Repeat(9, 256), {0, 0, 0, 9, 255}},
        {"run of 257 takes 0 and the long count", Repeat(9, 257), {0, 0, 0, 9, 0, 0x00, 0x01}},
        {"literals around a run", {0, 5, 5, 5, 5, 5, 1}, {2, 0, 0, 2, 5, 4, 1}},
        {"empty block", {}, {0, 0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Block(c.in), c.body) << c.what;
}

TEST(FSSFPackBlock, RunTableModeWhenAllValuesOccur) {
    // Four equal bytes stay literals in run-table mode: empty table, H = body length.
    const Bytes four = Cat({AllValues(), Repeat(0x41, 4)});
    const Bytes body4 = Block(four);
    EXPECT_EQ(Header(body4), 2 + 260);
    EXPECT_EQ(body4.size(), 262u);
    EXPECT_TRUE(std::equal(four.begin(), four.end(), body4.begin() + 2));

    // Five form a run: fill byte as a literal, count 4, table entry at its offset.
    const Bytes five = Cat({AllValues(), Repeat(0x41, 5)});
    const Bytes body5 = Block(five);
    ASSERT_EQ(body5.size(), 2u + 256 + 1 + 1 + 2);
    EXPECT_EQ(Header(body5), 2 + 256 + 1 + 1);
    EXPECT_EQ(body5[258], 0x41);
    EXPECT_EQ(body5[259], 4);
    EXPECT_EQ(body5[260] | body5[261] << 8, 259);

    // Two runs: the table holds the last run first, so its offsets fall.
    const Bytes two = Cat({Repeat(1, 6), AllValues(), Repeat(2, 300)});
    const Bytes body2 = Block(two);
    const int h = Header(body2);
    ASSERT_EQ(int(body2.size()) - h, 4);
    const int first = body2[size_t(h)] | body2[size_t(h) + 1] << 8;
    const int second = body2[size_t(h) + 2] | body2[size_t(h) + 3] << 8;
    EXPECT_GT(first, second);
    EXPECT_EQ(second, 3); // count of the first run follows its fill byte at offset 2
    EXPECT_EQ(body2[size_t(first)], 0);
    EXPECT_EQ(body2[size_t(first) + 1] | body2[size_t(first) + 2] << 8, 299);
}

TEST(FSSFPackBuffer, SizesAndBlockBoundaries) {
    // A zero-length file is the size field alone.
    EXPECT_EQ(Pack({}), (Bytes{0, 0, 0, 0}));

    // 65,534 bytes make two blocks, the second holding one byte; a stretch of
    // equal bytes across the boundary is coded on each side of it.
    Bytes data(65534, 0);
    for (size_t i = 0; i < 65528; ++i)
        data[i] = uint8_t(1 + i % 200);
    std::fill(data.begin() + 65528, data.end(), uint8_t(0xEE)); // 5 before, 1 after
    const Bytes packed = Pack(data);
    const int b1 = packed[4] | packed[5] << 8;
    ASSERT_EQ(size_t(4 + 2 + b1 + 2 + 3), packed.size());
    const Bytes last(packed.end() - 5, packed.end());
    EXPECT_EQ(last, (Bytes{3, 0, 0, 0, 0xEE})); // B = 3, E = 0, the lone byte
    // The first block ends with E, EE, count 4 (the five bytes on its side).
    EXPECT_EQ(Bytes(packed.begin() + 6 + b1 - 3, packed.begin() + 6 + b1), (Bytes{0, 0xEE, 4}));
    EXPECT_EQ(Unpack(packed), data);

    // Incompressible input hits the worst case exactly.
    Bytes all;
    for (int i = 0; i < 65533 * 2 + 10; ++i)
        all.push_back(uint8_t(i * 7 + i / 256));
    EXPECT_EQ(int64_t(Pack(all).size()), FSSFPack::PackBufferBound(int64_t(all.size())));
}

TEST(FSSFPackBuffer, RoundTrips) {
    const unsigned seed = std::random_device{}();
    std::printf("FSSFPack round-trip seed: %u\n", seed);
    std::mt19937 rng(seed);
    auto random = [&](size_t n, int alphabet, int runChance) {
        Bytes b;
        while (b.size() < n) {
            const uint8_t v = uint8_t(rng() % unsigned(alphabet));
            const size_t len = int(rng() % 100) < runChance ? 1 + rng() % 700 : 1;
            b.insert(b.end(), std::min(len, n - b.size()), v);
        }
        return b;
    };
    std::vector<std::pair<std::string, Bytes>> cases = {
        {"random", random(200000, 256, 0)},
        {"random with runs", random(300000, 256, 10)},
        {"small alphabet", random(150000, 4, 30)},
        {"text-like", random(100000, 60, 2)},
        {"one long run", Repeat(0x33, 1000000)},
        {"all values, no run", AllValues()},
        {"run across the boundary", Cat({Bytes(65530, 1), Repeat(2, 20), AllValues()})},
    };
    for (size_t n : {1, 2, 3, 4, 5, 65532, 65533, 65534, 131066, 131067})
        cases.push_back({"length " + std::to_string(n), random(n, 256, 5)});
    for (const auto& [what, data] : cases) {
        const Bytes packed = Pack(data);
        EXPECT_EQ(Unpack(packed), data) << what << " (seed " << seed << ")";
        EXPECT_EQ(Pack(data), packed) << what << ": packing is not deterministic";
    }
}

TEST(FSSFPackBlock, RejectsDamagedBodies) {
    struct Case {
        const char* what;
        Bytes body;
    };
    const Bytes okTable = Block(Cat({AllValues(), Repeat(3, 9)}));
    Bytes tableOutside = okTable;
    tableOutside[tableOutside.size() - 2] = 0xFF;
    tableOutside[tableOutside.size() - 1] = 0xFF;
    Bytes tableBeforeData = okTable;
    tableBeforeData[tableBeforeData.size() - 2] = 1;
    tableBeforeData[tableBeforeData.size() - 1] = 0;
    Bytes headerPastEnd = okTable;
    headerPastEnd[0] = 0xFF;
    headerPastEnd[1] = 0xFF;
    Bytes oddTable = okTable;
    oddTable.push_back(0);
    const Case cases[] = {
        {"no header", {0}},
        {"escape without fill and count", {0, 0, 0, 7}},
        {"escape with a short long count", {0, 0, 0, 7, 0, 1}},
        {"table entry outside the data part", tableOutside},
        {"table entry before the data part", tableBeforeData},
        {"header past the body", headerPastEnd},
        {"table of odd length", oddTable},
    };
    for (const Case& c : cases) {
        uint8_t out[70000];
        EXPECT_EQ(FSSFPack::UnpackBlock(c.body.data(), int32_t(c.body.size()), out, sizeof out), -1)
            << c.what;
    }
}

TEST(FSSFPackBlock, NeverWritesPastCapacity) {
    // A run that claims more than the room left is refused, not truncated.
    const Bytes run = {0, 0, 0, 7, 0, 0xFF, 0xFF}; // 65536 bytes of 7
    Bytes out(100 + 1, 0);
    out.back() = kCanary;
    EXPECT_EQ(FSSFPack::UnpackBlock(run.data(), int32_t(run.size()), out.data(), 100), -1);
    EXPECT_EQ(out.back(), kCanary);

    const Bytes table = Block(Cat({AllValues(), Repeat(3, 600)}));
    for (int64_t cap : {int64_t(0), int64_t(255), int64_t(256 + 599)}) {
        Bytes small(size_t(cap) + 1, 0);
        small.back() = kCanary;
        EXPECT_EQ(FSSFPack::UnpackBlock(table.data(), int32_t(table.size()), small.data(), cap),
                  -1);
        EXPECT_EQ(small.back(), kCanary);
    }
    // A buffer whose last block length runs past the input is refused.
    const Bytes blocks = {5, 0, 0, 0, 1};
    uint8_t sink[8];
    EXPECT_EQ(FSSFPack::UnpackBuffer(blocks.data(), int64_t(blocks.size()), sink, 8), -1);
}
