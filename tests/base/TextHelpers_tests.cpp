#include "base/TextHelpers.h"
#include "base/Utf8.h"

#include <gtest/gtest.h>

namespace {

TEST(PercentEncode, KeepsOnlyLettersAndDigits) {
    struct Case {
        QByteArray in;
        QByteArray out;
    } const cases[] = {
        {"", ""},
        {"AZaz09", "AZaz09"},
        {"a-b_c.d~e/f+g", "a%2Db%5Fc%2Ed%7Ee%2Ff%2Bg"},
        {" ", "%20"},
        {"\r\n", "%0D%0A"},
        {Utf16ToUtf8(QString::fromUtf8("中")), "%E4%B8%AD"},
        {QByteArray("\0\xFF", 2), "%00%FF"},
        {"&=?%", "%26%3D%3F%25"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PercentEncode(c.in), c.out) << c.in.toHex().constData();
}

TEST(PercentEncode, EveryByteValue) {
    for (int b = 0; b < 256; ++b) {
        const QByteArray one(1, char(b));
        const bool plain = QChar(b).isLetterOrNumber() && b < 128;
        const QByteArray expected =
            plain ? one : "%" + QByteArray::number(b, 16).rightJustified(2, '0').toUpper();
        EXPECT_EQ(PercentEncode(one), expected) << b;
    }
}

TEST(SplitText, Pieces) {
    struct Case {
        const char* text;
        const char* delimiter;
        QList<QByteArray> pieces;
    } const cases[] = {
        {"[[a[b", "[", {"a", "b"}},
        {"a[b[", "[", {"a", "b", ""}},
        {"abc", "[", {"abc"}},
        {"", "[", {""}},
        {"[", "[", {""}},
        {"[[[", "[", {""}},
        {"a[[b", "[", {"a", "b"}},
        {"x\",\"y\",\"z", "\",\"", {"x", "y", "z"}},
        {"abab", "ab", {""}},
        {"aaa", "aa", {"a"}},
        {"one<br>two<br>", "<br>", {"one", "two", ""}},
        // An empty delimiter occurs nowhere.
        {"abc", "", {"abc"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitText(c.text, c.delimiter), c.pieces) << c.text << " / " << c.delimiter;
}

TEST(SplitText, ManyPiecesInOrder) {
    QByteArray text;
    const int count = 200000;
    for (int i = 0; i < count; ++i)
        text += "[" + QByteArray::number(i);
    const QList<QByteArray> pieces = SplitText(text, "[");
    ASSERT_EQ(pieces.size(), count);
    EXPECT_EQ(pieces.front(), "0");
    EXPECT_EQ(pieces[12345], "12345");
    EXPECT_EQ(pieces.back(), QByteArray::number(count - 1));
}

} // namespace

TEST(SplitLines, LfAndCrLfEndingsReadAlike) {
    struct Case {
        const char* text;
        QStringList lines;
    } const cases[] = {
        {"", {""}},
        {"a", {"a"}},
        {"a\nb", {"a", "b"}},
        {"a\r\nb\r\n", {"a", "b", ""}},
        {"a\n\nb", {"a", "", "b"}},
        // Only the CR just before a break, or at the very end, goes.
        {"a\rb\r\n", {"a\rb", ""}},
        {"a\r\r\n", {"a\r", ""}},
        {"a\r", {"a"}},
        {"\r\n", {"", ""}},
        {"\n\r", {"", ""}},
    };
    for (const auto& c : cases) {
        const QString text = QString::fromLatin1(c.text);
        EXPECT_EQ(SplitLines(text), c.lines) << c.text;
        // The byte form gives the same lines, byte for byte.
        QList<QByteArray> bytes;
        for (const QString& line : c.lines)
            bytes.append(line.toLatin1());
        EXPECT_EQ(SplitLines(QByteArray(c.text)), bytes) << c.text;
    }
}

TEST(JoinCrLf, EveryBreakBecomesOneCrLf) {
    struct Case {
        const char16_t* text;
        const char16_t* joined;
    } const cases[] = {
        {u"", u""},
        {u"abc", u"abc"},
        {u"a\nb", u"a\r\nb"},
        {u"a\r\nb", u"a\r\nb"},
        {u"a\rb", u"a\r\nb"},
        {u"a\n\rb", u"a\r\n\r\nb"},
        {u"\r\r\n\n", u"\r\n\r\n\r\n"},
        {u"end\n", u"end\r\n"},
        {u"中\n文\u2028", u"中\r\n文\u2028"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JoinCrLf(QStringView(c.text)), QStringView(c.joined))
            << QString::fromUtf16(c.text).toStdString();
}
