// The engines' request parsers against the bodies the program really sends,
// and against bad ones.
#include "engine/EngineRequest.h"
#include "speech/SpeechRequest.h"

#include <QString>
#include <gtest/gtest.h>

namespace {

using engine::Failure;

engine::FormParts EngineOneParts(const std::string& imgBase, const std::string& lang = "auto") {
    return {{"imgBase", "", "", imgBase}, {"lang", "", "", lang}, {"company", "", "", ""}};
}

TEST(EngineRequest, EngineOneDecodesTheDataAddress) {
    const engine::OcrJob job =
        engine::ParseEngineOneRequest(EngineOneParts("data:image/jpeg;base64,/9j/4A==\r\n"));
    ASSERT_FALSE(job.error) << job.error.text;
    EXPECT_EQ(job.picture, std::string("\xFF\xD8\xFF\xE0"));
    EXPECT_FALSE(job.languages.empty());
}

TEST(EngineRequest, BadRequestsAreRefusedWithAReason) {
    struct Case {
        const char* name;
        engine::FormParts parts;
        bool engineOne;
    } const cases[] = {
        {"no imgBase", {{"lang", "", "", "auto"}}, true},
        {"not a data address", EngineOneParts("http://example/x.jpg"), true},
        {"not an image", EngineOneParts("data:text/plain;base64,QUJD"), true},
        {"bad base64 character", EngineOneParts("data:image/jpeg;base64,QU*D"), true},
        {"bad base64 length", EngineOneParts("data:image/jpeg;base64,QUJ"), true},
        {"padding in the middle", EngineOneParts("data:image/jpeg;base64,QQ==QUJD"), true},
        {"unknown language", EngineOneParts("data:image/jpeg;base64,QUJD", "xx"), true},
        {"no file part", {{"from", "", "", "en"}}, false},
        {"image as text part", {{"image", "", "", "bytes"}, {"from", "", "", "en"}}, false},
        {"unknown from", {{"image", "ocr.jpg", "image/jpg", "x"}, {"from", "", "", "zz"}}, false},
    };
    for (const Case& c : cases) {
        const engine::OcrJob job = c.engineOne ? engine::ParseEngineOneRequest(c.parts)
                                               : engine::ParseEngineTwoRequest(c.parts);
        EXPECT_EQ(job.error.failure, Failure::BadRequest) << c.name;
        EXPECT_FALSE(job.error.text.empty()) << c.name;
    }
}

TEST(EngineRequest, SpeechFormAsTheProgramSendsIt) {
    // The program encodes each UTF-16 unit on its own: the emoji arrives as two
    // 3-byte surrogates and must reach the voice as one character.
    const QString text = QStringLiteral("你好 \"ok\" & 1+1=2 😀");
    const QByteArray body = SpeechPostData(text, QStringLiteral("zh"));
    const engine::SpeechJob job = engine::ParseSpeechRequest(body.toStdString());
    ASSERT_FALSE(job.error) << job.error.text;
    EXPECT_EQ(QString::fromStdString(job.text), text);
    EXPECT_EQ(job.code, "zh");
    EXPECT_EQ(job.speed, 5);
}

TEST(EngineRequest, BadSpeechFormsAreRefused) {
    struct Case {
        std::string body;
        Failure failure;
    } const cases[] = {
        {"lan=en&ie=UTF-8&text=&spd=5&source=web", Failure::BadRequest},
        {"lan=en&ie=UTF-8&spd=5", Failure::BadRequest},
        {"lan=xx&ie=UTF-8&text=ok&spd=5", Failure::BadRequest},
        {"lan=en&ie=GBK&text=ok&spd=5", Failure::BadRequest},
        {"lan=en&ie=UTF-8&text=ok&spd=10", Failure::BadRequest},
        {"lan=en&ie=UTF-8&text=ok%2&spd=5", Failure::BadRequest},
        {"lan=en&ie=UTF-8&text=%zz&spd=5", Failure::BadRequest},
        {"lan=en&text=" + std::string(30000, 'a'), Failure::TooLarge},
        {"lan=en&text=" + std::string(300000, 'a'), Failure::TooLarge},
    };
    for (const Case& c : cases)
        EXPECT_EQ(engine::ParseSpeechRequest(c.body).error.failure, c.failure)
            << c.body.substr(0, 60);
}

TEST(EngineRequest, MalformedUtf8IsRepairedNotPassedOn) {
    EXPECT_EQ(engine::RepairUtf8("a\xFF"
                                 "b\xED\xA0\x80"
                                 "c\xE4\xBD"),
              "a\uFFFDb\uFFFDc\uFFFD\uFFFD");
    EXPECT_EQ(engine::RepairUtf8("\xC0\xAF"), "\uFFFD\uFFFD"); // overlong "/"
}

} // namespace
