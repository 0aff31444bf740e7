#include "base/Utf8.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

QString Units(std::initializer_list<char16_t> units) {
    QString s;
    for (char16_t u : units)
        s.append(QChar(u));
    return s;
}

struct EncodeCase {
    const char* label;
    QString text;
    QByteArray utf8;
};

TEST(Utf8, EncodesEachCodeUnitOnItsOwn) {
    const EncodeCase cases[] = {
        {"empty", QString(), QByteArray()},
        {"nul", Units({0}), QByteArray("\0", 1)},
        {"ascii", "Az~", "Az~"},
        {"two bytes low", Units({0x80}), "\xC2\x80"},
        {"two bytes high", Units({0x7FF}), "\xDF\xBF"},
        {"three bytes low", Units({0x800}), "\xE0\xA0\x80"},
        {"chinese", QString::fromUtf8("中"), "\xE4\xB8\xAD"},
        {"last bmp", Units({0xFFFF}), "\xEF\xBF\xBF"},
        {"pair as two sequences", Units({0xD83D, 0xDE00}), "\xED\xA0\xBD\xED\xB8\x80"},
        {"lone low surrogate", Units({0xDC00}), "\xED\xB0\x80"},
        {"crlf", "\r\n", "\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Utf16ToUtf8(c.text).toHex(' '), c.utf8.toHex(' ')) << c.label;
}

struct DecodeCase {
    const char* label;
    QByteArray utf8;
    QString text;
};

TEST(Utf8, DecodesValidAndMalformedInput) {
    const QChar bad(0xFFFD);
    const DecodeCase cases[] = {
        {"empty", QByteArray(), QString()},
        {"ascii", "hello", "hello"},
        {"two bytes", "\xC3\xA9", Units({0xE9})},
        {"three bytes", "\xE4\xB8\xAD", QString::fromUtf8("中")},
        {"four bytes to pair", "\xF0\x9F\x98\x80", Units({0xD83D, 0xDE00})},
        {"last code point", "\xF4\x8F\xBF\xBF", Units({0xDBFF, 0xDFFF})},
        {"encoded pair joins", "\xED\xA0\xBD\xED\xB8\x80", Units({0xD83D, 0xDE00})},
        {"lone encoded surrogate", "\xED\xB0\x80", Units({0xDC00})},
        {"stray continuation", "a\x80z", QString("a") + bad + "z"},
        {"truncated two at end", "a\xC3", QString("a") + bad},
        {"truncated three at end", "\xE4\xB8", QString(bad)},
        {"truncated four at end", "\xF0\x9F\x98", QString(bad)},
        {"broken by ascii",
         "\xE4\xB8"
         "A",
         QString(bad) + "A"},
        {"broken by new lead", "\xE4\xC3\xA9", QString(bad) + QChar(0xE9)},
        {"overlong slash", "\xC0\xAF", QString(bad) + bad},
        {"overlong three", "\xE0\x80\xAF", QString(bad) + bad + bad},
        {"overlong four", "\xF0\x8F\xBF\xBF", QString(4, bad)},
        {"past 10FFFF", "\xF4\x90\x80\x80", QString(4, bad)},
        {"invalid leads", "\xF5\xFE\xFF", QString(3, bad)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Utf8ToUtf16(c.utf8), c.text) << c.label;
}

TEST(Utf8, NeverReadsPastTheView) {
    // The bytes after each view would complete the sequence if they were read.
    const QByteArray whole("\xF0\x9F\x98\x80\xE4\xB8\xAD");
    for (qsizetype cut : {1, 2, 3}) {
        EXPECT_EQ(Utf8ToUtf16(QByteArrayView(whole.constData(), cut)), QString(QChar(0xFFFD)))
            << cut;
        EXPECT_EQ(Utf8ToUtf16(QByteArrayView(whole.constData() + 4, cut > 2 ? 2 : cut)),
                  QString(QChar(0xFFFD)))
            << cut;
    }
}

TEST(Utf8, EveryCodeUnitRoundTrips) {
    QString all;
    for (uint u = 0; u <= 0xFFFF; ++u)
        all.append(QChar(char16_t(u)));
    const QByteArray bytes = Utf16ToUtf8(all);
    // Surrogates take 3 bytes each like the rest of 0800..FFFF.
    EXPECT_EQ(bytes.size(), 0x80 * 1 + (0x800 - 0x80) * 2 + (0x10000 - 0x800) * 3);
    const QString back = Utf8ToUtf16(bytes);
    EXPECT_EQ(back, all);
}

TEST(Utf8, RandomBytesStayInBoundsAndValidTextMatchesQt) {
    const quint32 seed = QRandomGenerator::global()->generate();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    QRandomGenerator random(seed);
    for (int round = 0; round < 2000; ++round) {
        // Random bytes biased towards the interesting lead and continuation ranges.
        QByteArray junk(int(random.bounded(1, 24)), Qt::Uninitialized);
        for (char& c : junk)
            c = char(random.bounded(2) ? random.bounded(0x80, 0x100) : random.bounded(0x100));
        const QString decoded = Utf8ToUtf16(junk);
        ASSERT_LE(decoded.size(), junk.size());
        // Whatever came out encodes to well-formed bytes that decode to itself.
        ASSERT_EQ(Utf8ToUtf16(Utf16ToUtf8(decoded)), decoded);

        // Valid text of random code points decodes as Qt decodes it.
        QString text;
        for (int k = 0; k < 8; ++k) {
            char32_t cp = random.bounded(0x110000u);
            if (cp >= 0xD800 && cp <= 0xDFFF)
                cp = 0x4E2D;
            text += QString::fromUcs4(&cp, 1);
        }
        const QByteArray proper = text.toUtf8();
        ASSERT_EQ(Utf8ToUtf16(proper), text);
        ASSERT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
    }
}

} // namespace
