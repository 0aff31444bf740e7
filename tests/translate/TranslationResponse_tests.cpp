#include "translate/TranslationResponse.h"

#include <gtest/gtest.h>

namespace {

struct ParseCase {
    const char* name;
    QByteArray answer;
    QByteArray expected;
};

class ParseTranslationResponseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTranslationResponseTest, ExtractsTheTranslatedLines) {
    const ParseCase& c = GetParam();
    EXPECT_EQ(ParseTranslationResponse(c.answer), c.expected) << c.name;
}

// Answers are written with raw literals so that every backslash is one byte of
// the answer, as the service sends it.
INSTANTIATE_TEST_SUITE_P(
    Answers, ParseTranslationResponseTest,
    ::testing::Values(
        ParseCase{
            "worked example",
            R"([[["早上好\r\n","Good morning\r\n",null,null,1],["谢谢","Thank you",null,null,1],[null,null,"Zaoshang hao\r\nXiexie"]],null,"en"])",
            "早上好\r\n谢谢\r\n"},
        ParseCase{"only entry closed by ]]", R"([["Hello","你好",null,null,1]],null,"zh-CN"])", ""},
        ParseCase{"escaped break in the middle gives two lines",
                  R"([["Hello\r\nWorld","你好\r\n世界",null],[null]],null])", "Hello\r\nWorld\r\n"},
        ParseCase{"word ending in r before an escaped line feed is kept whole",
                  R"([["Summer\nFall","Sommer\nHerbst",null],[null]]])", "Summer\\nFall\r\n"},
        ParseCase{"escaped break in the source string leaves the sentence alone",
                  R"([["谢谢","Thank you\r\n",null],[null]]])", "谢谢\r\n"},
        ParseCase{"short sentence beside an escaped break elsewhere in the piece",
                  R"([["ab","x\r\n"],[null]]])", "ab\r\n"},
        ParseCase{"other escapes stand as they are", R"([["say \"hi\"\n\t\\","x"],[null]]])",
                  "say \\\"hi\\\"\\n\\t\\\\\r\n"},
        ParseCase{"a count below zero gives an empty line", R"([",","x"],[null]]])", "\r\n"},
        ParseCase{"an empty sentence gives an empty line", R"([["","x"],[null]]])", "\r\n"},
        ParseCase{"a sentence that is only an escaped break", R"([["\r\n","x"],[null]]])", "\r\n"},
        ParseCase{"two trailing escaped breaks keep one", R"([["a\r\n\r\n","x"],[null]]])",
                  "a\r\n\r\n"},
        ParseCase{"pieces without a leading quote or a quote-comma-quote are skipped",
                  R"([[null,"a","b"],["abc"],[ "c","d"],["e","f"],[null]]])", "e\r\n"},
        ParseCase{"without ]] the last piece is an entry too", R"([["a","b"],["c","d")",
                  "a\r\nc\r\n"},
        ParseCase{"entries after the closing piece are ignored", R"([["a","b"]],["c","d"]])", ""},
        ParseCase{"]] before the first [ ends the walk at once", R"(]]["a","b"])", ""},
        ParseCase{"]] inside a sentence ends the walk there", R"([["x","y"],["a]]b","c"]])",
                  "x\r\n"},
        ParseCase{"the text before the first [ counts as a piece", R"("a","b"[null]])", "a\r\n"},
        ParseCase{"empty answer", "", ""}, ParseCase{"no brackets at all", "plain text", ""},
        ParseCase{"zero bytes inside a sentence before the closing piece",
                  QByteArray("[[\"a\0b\",\"c\"],[]]", 16), QByteArray("a\0b\r\n", 5)}),
    [](const ::testing::TestParamInfo<ParseCase>& info) {
        return "Case" + std::to_string(info.index);
    });

struct LinesCase {
    QByteArray stream;
    QByteArray text;
};

TEST(StringListText, BreaksLinesLikeALineList) {
    const LinesCase cases[] = {
        {"", ""},
        {"abc", "abc\r\n"},
        {"abc\r\n", "abc\r\n"},
        {"a\nb", "a\r\nb\r\n"},
        {"a\rb\r\n", "a\r\nb\r\n"},
        {"a\n\rb", "a\r\n\r\nb\r\n"},
        {"\r\n", "\r\n"},
        {"\n\n", "\r\n\r\n"},
        {"\r\r\n", "\r\n\r\n"},
        {QByteArray("a\0b\nc", 5), "a\r\n"},
        {QByteArray("\0abc", 4), ""},
    };
    for (const LinesCase& c : cases)
        EXPECT_EQ(StringListText(c.stream), c.text) << c.stream.toStdString();
}

TEST(StringListText, ThenParsingTheWorkedExampleGivesTheSameLines) {
    // The service may end its answer with LF; the done handler parses the text
    // of the line list, so the trailing break must not create an entry.
    const QByteArray answer =
        R"([[["早上好\r\n","Good morning\r\n",null,null,1],["谢谢","Thank you",null,null,1],[null,null,"Zaoshang hao\r\nXiexie"]],null,"en"])"
        "\n";
    EXPECT_EQ(ParseTranslationResponse(StringListText(answer)), "早上好\r\n谢谢\r\n");
}

} // namespace
