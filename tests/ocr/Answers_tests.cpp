#include "base/Utf8.h"
#include "ocr/OcrAnswers.h"

#include <gtest/gtest.h>

namespace {

// What the source box shows for an engine-two answer, or nullopt when the
// handling stops at an unreadable escape.
std::optional<QString> EngineTwo(const QByteArray& body) {
    const auto decoded = DecodeUnicodeEscapes(ExtractStringListLines(AnswerText(body)));
    if (!decoded)
        return std::nullopt;
    return Utf8ToUtf16(*decoded);
}

QString EngineOne(const QByteArray& body) {
    return Utf8ToUtf16(ExtractWordValues(AnswerText(body)));
}

} // namespace

TEST(OcrAnswers, AnswerTextNormalisesLineBreaks) {
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"", "\r\n"},
        {"a", "a\r\n"},
        {"a\nb", "a\r\nb\r\n"},
        {"a\rb\r\n", "a\r\nb\r\n"},
        {"a\r\n\r\nb", "a\r\n\r\nb\r\n"},
        {QByteArray("ab\0cd", 5), "ab\r\n"},
    };
    for (const auto& [body, text] : cases)
        EXPECT_EQ(AnswerText(body), text) << body.toStdString();
}

TEST(OcrAnswers, EngineOne) {
    const std::pair<QByteArray, QString> cases[] = {
        {R"({"items":[{"words":"Hello world"},{"words":"Second line"}]})",
         "Hello world\r\nSecond line\r\n"},
        // No words marker: the whole answer is the one piece and holds an end marker.
        {R"({"error":"busy"})", "{\"error\":\"busy\r\n"},
        {R"({"words":"caf\u00e9"})", "caf\\u00e9\r\n"},
        {R"({"words":"你好"})", QStringLiteral("你好\r\n")},
        {R"({"words":"no end")", ""},
        {"nothing at all", ""},
    };
    for (const auto& [body, shown] : cases)
        EXPECT_EQ(EngineOne(body), shown) << body.toStdString();
}

TEST(OcrAnswers, EngineTwo) {
    const std::pair<QByteArray, QString> cases[] = {
        {R"({"state":0,"lines":["\u4f60\u597d","world"]})", QStringLiteral("你好\r\nworld\r\n")},
        {R"(["a",""])", "a\r\n\r\n"},
        {R"(["a","","b"])", "a\r\nb\r\n"},
        {R"(["\u00e9t\u00E9"])", QStringLiteral("été\r\n")},
        // An escaped surrogate pair becomes the one character it encodes.
        {R"(["\ud83d\ude00"])", QStringLiteral("\U0001F600\r\n")},
        // Other backslash sequences stay as they are.
        {R"(["a\"b\\c\n"])", "a\\\"b\\\\c\\n\r\n"},
        {R"("]x[")", ""},
        {R"({"lines":[]})", ""},
        {"no list", ""},
    };
    for (const auto& [body, shown] : cases) {
        const auto result = EngineTwo(body);
        ASSERT_TRUE(result.has_value()) << body.toStdString();
        EXPECT_EQ(*result, shown) << body.toStdString();
    }
}

TEST(OcrAnswers, UnreadableEscapeStopsTheHandling) {
    for (const QByteArray body : {R"(["\u12"])", R"(["\uzzzz"])", R"(["ok","\u4f6g"])"})
        EXPECT_FALSE(EngineTwo(body).has_value()) << body.toStdString();
}

TEST(OcrAnswers, EscapeCutShortByTheEndIsReadWithItsDigits) {
    EXPECT_EQ(DecodeUnicodeEscapes("x\\u41"), QByteArray("xA"));
    EXPECT_EQ(DecodeUnicodeEscapes("x\\u"), std::nullopt);
    EXPECT_EQ(DecodeUnicodeEscapes("\\u0000"), QByteArray(1, '\0'));
}

TEST(OcrAnswers, BracketedText) {
    const std::pair<QByteArray, QByteArray> cases[] = {
        {R"(x["a","b"]y)", R"(a","b)"},
        {R"([""])", ""},
        {R"("]...[")", ""},
        {R"(["abc)", ""},
        {R"(abc"])", ""},
        // The end marker overlapping the start marker is not after it.
        {R"(["])", ""},
    };
    for (const auto& [answer, text] : cases)
        EXPECT_EQ(ExtractBracketedText(answer), text) << answer.toStdString();
}
