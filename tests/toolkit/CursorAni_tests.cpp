#include "toolkit/AnimatedCursor.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>

namespace {

QImage Frame(QRgb colour, int side = 32) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.fillRect(2, 2, side / 2, side / 3, QColor::fromRgba(colour));
    return image;
}

TAniCursorData Sample(bool withSeq, bool withRates) {
    TAniCursorData d;
    d.Frames = {
        {Frame(0xffff0000), {1, 2}}, {Frame(0xff00ff00), {3, 4}}, {Frame(0xff0000ff), {31, 31}}};
    if (withSeq)
        d.Steps = {{0, 5}, {2, 5}, {1, 5}, {2, 5}};
    else
        d.Steps = {{0, 5}, {1, 5}, {2, 5}};
    if (withRates)
        d.Steps[1].Jiffies = 20;
    return d;
}

void Put16(QByteArray& b, int at, uint32_t v) {
    b[at] = char(v);
    b[at + 1] = char(v >> 8);
}
void Put32(QByteArray& b, int at, uint32_t v) {
    Put16(b, at, v);
    Put16(b, at + 2, v >> 16);
}

// An .ani around one hand-made .cur image.
QByteArray AniAround(const QByteArray& cur) {
    TAniCursorData d;
    d.Frames = {{Frame(0xff000000), {0, 0}}};
    d.Steps = {{0, 3}};
    QByteArray ani = WriteAniCursor(d);
    const int icon = int(ani.indexOf("icon"));
    ani.truncate(icon);
    ani += "icon";
    QByteArray size(4, '\0');
    Put32(size, 0, uint32_t(cur.size()));
    ani += size + cur;
    if (cur.size() % 2)
        ani += '\0';
    // Fix the LIST and RIFF sizes for the new tail.
    const int list = int(ani.indexOf("LIST"));
    Put32(ani, list + 4, uint32_t(ani.size() - list - 8));
    Put32(ani, 4, uint32_t(ani.size() - 8));
    return ani;
}

// A 4 x 2 cursor with a 1-bit palette (black, white) and a mask that clears
// the right half.
QByteArray OneBitCur() {
    QByteArray cur(6 + 16, '\0');
    Put16(cur, 2, 2);
    Put16(cur, 4, 1);
    cur[6] = 4;
    cur[7] = 2;
    Put16(cur, 10, 1); // hotspot x
    Put16(cur, 12, 0);
    QByteArray bmp(40, '\0');
    Put32(bmp, 0, 40);
    Put32(bmp, 4, 4);
    Put32(bmp, 8, 4); // doubled height
    Put16(bmp, 12, 1);
    Put16(bmp, 14, 1);
    bmp += QByteArray::fromHex("00000000"
                               "ffffff00"); // palette
    bmp += QByteArray::fromHex("50000000"
                               "a0000000"); // rows, bottom-up
    bmp += QByteArray::fromHex("30000000"
                               "30000000"); // mask rows
    Put32(cur, 14, uint32_t(bmp.size()));
    Put32(cur, 18, 22);
    return cur + bmp;
}

QByteArray Chunk(const char* id, const QByteArray& body) {
    QByteArray size(4, '\0');
    Put32(size, 0, uint32_t(body.size()));
    return id + size + body + QByteArray(body.size() % 2, '\0');
}

// A .cur of one side x side PNG, one bit deep: a few hundred bytes at any size.
QByteArray PngCur(int side) {
    QImage image(side, side, QImage::Format_Mono);
    image.fill(0);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    QByteArray cur(22, '\0');
    Put16(cur, 2, 2);
    Put16(cur, 4, 1);
    Put32(cur, 14, uint32_t(png.size()));
    Put32(cur, 18, 22);
    return cur + png;
}

// An .ani of `frames` copies of cur, padded to fileSize bytes (even) when given.
QByteArray AniOf(const QByteArray& cur, uint32_t frames, qsizetype fileSize = 0) {
    QByteArray header(36, '\0');
    const uint32_t fields[] = {36, frames, frames, 0, 0, 0, 0, 6, 1};
    for (int i = 0; i < 9; ++i)
        Put32(header, 4 * i, fields[i]);
    QByteArray body = "ACON" + Chunk("anih", header) +
                      Chunk("LIST", "fram" + Chunk("icon", cur).repeated(frames));
    if (fileSize > 0)
        body += Chunk("JUNK", QByteArray(fileSize - 16 - body.size(), '\0'));
    return Chunk("RIFF", body);
}

// Lets this process map only headroom bytes more than it has mapped now.
bool CapAddressSpace(rlim_t headroom) {
    std::ifstream status("/proc/self/status");
    std::string key;
    rlim_t kib = 0;
    while (status >> key && key != "VmSize:")
        status.ignore(256, '\n');
    status >> kib;
    const struct rlimit cap { kib * 1024 + headroom, kib * 1024 + headroom };
    return kib > 0 && ::setrlimit(RLIMIT_AS, &cap) == 0;
}

} // namespace

TEST(CursorAni, WriterAndReaderAgree) {
    for (bool seq : {false, true}) {
        for (bool rates : {false, true}) {
            const TAniCursorData in = Sample(seq, rates);
            const QByteArray bytes = WriteAniCursor(in);
            EXPECT_EQ(bytes.contains("seq "), seq);
            EXPECT_EQ(bytes.contains("rate"), rates);
            TAniCursorData out;
            QString error;
            ASSERT_TRUE(ReadAniCursor(bytes, out, &error)) << error.toStdString();
            ASSERT_EQ(out.Frames.size(), in.Frames.size());
            for (size_t i = 0; i < in.Frames.size(); ++i) {
                EXPECT_EQ(out.Frames[i].HotSpot, in.Frames[i].HotSpot);
                EXPECT_EQ(out.Frames[i].Image, in.Frames[i].Image) << "frame " << i;
            }
            ASSERT_EQ(out.Steps.size(), in.Steps.size());
            for (size_t i = 0; i < in.Steps.size(); ++i) {
                EXPECT_EQ(out.Steps[i].Frame, in.Steps[i].Frame);
                EXPECT_EQ(out.Steps[i].Jiffies, in.Steps[i].Jiffies);
            }
        }
    }
}

TEST(CursorAni, DecodesPalettedAndPngFrames) {
    TAniCursorData out;
    QString error;
    ASSERT_TRUE(ReadAniCursor(AniAround(OneBitCur()), out, &error)) << error.toStdString();
    const QImage& img = out.Frames[0].Image;
    ASSERT_EQ(img.size(), QSize(4, 2));
    EXPECT_EQ(out.Frames[0].HotSpot, QPoint(1, 0));
    // Top row is the second stored row (a0 = 1010), bottom row 0101; the mask
    // (0011) clears the two right pixels.
    EXPECT_EQ(img.pixel(0, 0), 0xffffffffu);
    EXPECT_EQ(img.pixel(1, 0), 0xff000000u);
    EXPECT_EQ(qAlpha(img.pixel(2, 0)), 0);
    EXPECT_EQ(img.pixel(0, 1), 0xff000000u);
    EXPECT_EQ(img.pixel(1, 1), 0xffffffffu);
    EXPECT_EQ(qAlpha(img.pixel(3, 1)), 0);

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    Frame(0xff123456, 24).save(&buffer, "PNG");
    QByteArray cur(22, '\0');
    Put16(cur, 2, 2);
    Put16(cur, 4, 1);
    Put16(cur, 10, 5);
    Put16(cur, 12, 6);
    Put32(cur, 14, uint32_t(png.size()));
    Put32(cur, 18, 22);
    ASSERT_TRUE(ReadAniCursor(AniAround(cur + png), out, &error)) << error.toStdString();
    EXPECT_EQ(out.Frames[0].Image.size(), QSize(24, 24));
    EXPECT_EQ(out.Frames[0].Image.pixel(3, 3), 0xff123456u);
    EXPECT_EQ(out.Frames[0].HotSpot, QPoint(5, 6));
}

TEST(CursorAni, RefusesDamagedFiles) {
    const QByteArray good = WriteAniCursor(Sample(true, true));
    const int anih = int(good.indexOf("anih")) + 8;
    const int seq = int(good.indexOf("seq ")) + 8;
    const int icon = int(good.indexOf("icon")) + 8;
    struct Case {
        const char* what;
        std::function<void(QByteArray&)> damage;
    };
    const Case cases[] = {
        {"not RIFF", [](QByteArray& b) { b[0] = 'X'; }},
        {"not ACON", [](QByteArray& b) { b[8] = 'X'; }},
        {"no header", [anih](QByteArray& b) { b[anih - 8] = 'X'; }},
        {"more frames than stored", [anih](QByteArray& b) { Put32(b, anih + 4, 4); }},
        {"raw bitmap frames", [anih](QByteArray& b) { Put32(b, anih + 32, 2); }},
        {"sequence names a missing frame", [seq](QByteArray& b) { Put32(b, seq + 4, 3); }},
        {"more steps than the sequence", [anih](QByteArray& b) { Put32(b, anih + 8, 50); }},
        {"frame image outside the frame", [icon](QByteArray& b) { Put32(b, icon + 18, 99999); }},
        {"unsupported depth", [icon](QByteArray& b) { Put16(b, icon + 22 + 14, 16); }},
        {"frame too wide", [icon](QByteArray& b) { Put32(b, icon + 22 + 4, 5000); }},
        {"chunk past the end", [anih](QByteArray& b) { Put32(b, anih - 4, 1u << 30); }},
    };
    for (const Case& c : cases) {
        QByteArray bad = good;
        c.damage(bad);
        TAniCursorData out;
        EXPECT_FALSE(ReadAniCursor(bad, out)) << c.what;
    }
    // Every truncation is refused without reading past the end.
    for (qsizetype n = 0; n < good.size(); n += 7) {
        TAniCursorData out;
        EXPECT_FALSE(ReadAniCursor(good.first(n), out)) << "prefix " << n;
    }
}

TEST(CursorAni, TheProgramsCursorsDecode) {
    struct Case {
        const char* file;
        size_t minFrames;
    };
    for (const Case& c : {Case{"appstarting.ani", 8}, Case{"arrow.ani", 4}}) {
        QFile f(QStringLiteral(QUILL_STORED_FILES_DIR "/") + QLatin1String(c.file));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << c.file;
        TAniCursorData out;
        QString error;
        ASSERT_TRUE(ReadAniCursor(f.readAll(), out, &error)) << c.file << error.toStdString();
        EXPECT_GE(out.Frames.size(), c.minFrames) << c.file;
        for (const TCursorFrame& frame : out.Frames) {
            EXPECT_EQ(frame.Image.size(), QSize(32, 32));
            EXPECT_EQ(frame.HotSpot, QPoint(1, 1));
            // The tip is drawn and the far corner is clear.
            EXPECT_GT(qAlpha(frame.Image.pixel(2, 3)), 200) << c.file;
            EXPECT_EQ(qAlpha(frame.Image.pixel(31, 0)), 0) << c.file;
        }
        // An animation: neighbouring steps show different pictures.
        ASSERT_GE(out.Steps.size(), 2u);
        EXPECT_NE(out.Frames[size_t(out.Steps[0].Frame)].Image,
                  out.Frames[size_t(out.Steps[1].Frame)].Image);
    }
}

TEST(CursorAniDeathTest, LimitsHoldInASmallAddressSpace) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer cannot run under an address-space cap";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    using namespace AniLimits;
    const QByteArray tiny = PngCur(1), full = PngCur(256);
    const auto fullAtCap = uint32_t(MaxDecodedBytes / (256 * 256 * 4));
    struct Case {
        const char* what;
        QByteArray file;
        bool loads;
    };
    const Case cases[] = {
        {"4096 frames of 256 x 256, 1 GiB decoded", AniOf(full, 4096), false},
        {"frames at the cap", AniOf(tiny, MaxFrames), true},
        {"one frame over the cap", AniOf(tiny, MaxFrames + 1), false},
        {"decoded pixels at the cap", AniOf(full, fullAtCap), true},
        {"one large frame over the decoded cap", AniOf(full, fullAtCap + 1), false},
        {"file at the size cap", AniOf(tiny, 1, MaxFileBytes), true},
        {"file over the size cap", AniOf(tiny, 1, MaxFileBytes + 2), false},
    };
    // Half of what the first file would decode to, yet room for all we accept.
    const auto run = [&] {
        bool ok = CapAddressSpace(512u << 20);
        QTemporaryDir dir;
        QFile file(dir.filePath("c.ani"));
        for (const Case& c : cases) {
            file.open(QIODevice::WriteOnly | QIODevice::Truncate);
            file.write(c.file);
            file.close();
            TAniCursorData out;
            if (ReadAniCursor(c.file, out) != c.loads ||
                (TAnimatedCursor::LoadFromFile(file.fileName()) != nullptr) != c.loads) {
                std::fprintf(stderr, "wrong answer: %s\n", c.what);
                ok = false;
            }
        }
        dir.remove();
        std::_Exit(ok ? 0 : 1);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
}
