// Feeds any bytes to the engine's request parsers, and checks that engine
// two's answer carries any lines exactly through the program's own reader.
#include "base/Utf8.h"
#include "engine/EngineAnswer.h"
#include "engine/EngineRequest.h"
#include "ocr/OcrAnswers.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        lines.emplace_back(engine::RepairUtf8(text.substr(0, end)));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

void CheckEngineTwoRoundTrip(std::string_view text) {
    std::vector<std::string> lines;
    // The list reader drops empty lines before the last; give it none.
    for (std::string& line : Lines(text))
        if (!line.empty())
            lines.push_back(std::move(line));
    const std::string answer = engine::WriteEngineTwoAnswer(lines);
    const auto decoded =
        DecodeUnicodeEscapes(ExtractStringListLines(AnswerText(QByteArray::fromStdString(answer))));
    if (!decoded)
        std::abort();
    QString expected;
    for (const std::string& line : lines)
        expected += QString::fromStdString(line) + QStringLiteral("\r\n");
    if (Utf8ToUtf16(*decoded) != expected)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    engine::ParseSpeechRequest(text);
    engine::ParseEngineOneRequest({{"imgBase", "", "", std::string(text)}});
    engine::ParseEngineTwoRequest({{"image", "ocr.jpg", "image/jpg", std::string(text)},
                                   {"from", "", "", std::string(text.substr(0, 8))}});
    std::string decoded;
    engine::DecodeBase64(text, decoded);
    engine::WriteEngineOneAnswer(Lines(text));
    CheckEngineTwoRoundTrip(text);
    return 0;
}
