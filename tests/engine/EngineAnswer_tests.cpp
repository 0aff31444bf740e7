// The engines' answers read back with the program's own extractors: what the
// engine recognised must reach the source box exactly (engine two) or
// readably and whole (engine one).
#include "base/Utf8.h"
#include "engine/EngineAnswer.h"
#include "ocr/OcrAnswers.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

std::vector<std::string> Utf8Lines(const QStringList& lines) {
    std::vector<std::string> out;
    for (const QString& line : lines)
        out.push_back(line.toStdString());
    return out;
}

// The box's lines, as the done handler fills it.
QStringList BoxLines(const QByteArray& extracted) {
    QStringList lines = Utf8ToUtf16(extracted).split(QStringLiteral("\r\n"));
    lines.removeLast(); // every line ends with CR LF
    return lines;
}

QStringList ReadEngineOne(const std::string& answer) {
    return BoxLines(ExtractWordValues(AnswerText(QByteArray::fromStdString(answer))));
}

QStringList ReadEngineTwo(const std::string& answer) {
    const auto decoded =
        DecodeUnicodeEscapes(ExtractStringListLines(AnswerText(QByteArray::fromStdString(answer))));
    return decoded ? BoxLines(*decoded) : QStringList{QStringLiteral("<unreadable>")};
}

const QStringList kAwkwardLines = {
    QStringLiteral("He said \"hi\" and left"),
    QStringLiteral(R"(C:\temp\new \u0041 \\)"),
    QStringLiteral("你好，世界！こんにちは 안녕"),
    QStringLiteral("emoji 😀 outside the BMP 𠀀"),
    QStringLiteral("[\"a\",\"b\"] and {\"x\":1}"),
    QStringLiteral("tab\there"),
    QStringLiteral("] starts like the list's end"),
    QStringLiteral(",\",\" looks like a separator ["),
};

TEST(EngineAnswer, EngineTwoCarriesEveryLineExactly) {
    EXPECT_EQ(ReadEngineTwo(engine::WriteEngineTwoAnswer(Utf8Lines(kAwkwardLines))), kAwkwardLines);
    const std::string answer = engine::WriteEngineTwoAnswer({"\xE4\xBD\xA0\"\\"});
    // Only printable ASCII travels as it is.
    EXPECT_EQ(answer, R"({"state":0,"lines":["\u4f60\u0022\u005c"]})");
}

TEST(EngineAnswer, EngineTwoEmptyLinesFollowTheListReader) {
    // The reader keeps an empty last line and drops the others.
    EXPECT_EQ(ReadEngineTwo(engine::WriteEngineTwoAnswer({"a", "", "b", ""})),
              (QStringList{"a", "b", ""}));
    EXPECT_TRUE(ReadEngineTwo(engine::WriteEngineTwoAnswer({})).isEmpty());
}

TEST(EngineAnswer, EngineOneCarriesRawUtf8) {
    const QStringList plain = {QStringLiteral("Hello world"), QStringLiteral("你好 😀"),
                               QStringLiteral(R"(caf\u00e9 C:\dir)"), QString()};
    EXPECT_EQ(ReadEngineOne(engine::WriteEngineOneAnswer(Utf8Lines(plain))), plain);
}

TEST(EngineAnswer, EngineOneKeepsLinesWithItsMarkersReadableAndWhole) {
    const QStringList hostile = {
        QStringLiteral("ends here\"} but goes on"), QStringLiteral("a \"words\":\"b\" inside"),
        QStringLiteral("trailing \"words\":"),      QStringLiteral("words\":\"at the start"),
        QStringLiteral("quote at the end\""),
    };
    const QStringList read = ReadEngineOne(engine::WriteEngineOneAnswer(Utf8Lines(hostile)));
    ASSERT_EQ(read.size(), hostile.size()) << read.join('|').toStdString();
    for (int i = 0; i < hostile.size(); ++i) {
        // Only blanks may have been added.
        QString squeezed = read[i];
        squeezed.remove(' ');
        EXPECT_EQ(squeezed, QString(hostile[i]).remove(' ')) << read[i].toStdString();
    }
    EXPECT_EQ(read[4], hostile[4]);
}

TEST(EngineAnswer, EngineOneNeverBreaksOrEndsALineEarly) {
    const std::string answer = engine::WriteEngineOneAnswer({std::string("one\ntwo\r\0three", 14)});
    EXPECT_EQ(ReadEngineOne(answer), QStringList{"one two three"});
}

} // namespace
