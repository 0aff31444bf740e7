#include "TempHome.h"
#include "speech/SpeechRequest.h"

#include <gtest/gtest.h>

namespace {

struct BodyCase {
    const char* name;
    QString text;
    const char* code;
    const char* body;
};

TEST(SpeechRequest, BodyKeepsKeyOrderAndEncodesTheText) {
    const BodyCase cases[] = {
        {"plain", "ok", "en", "lan=en&ie=UTF-8&text=ok&spd=5&source=web"},
        {"blank", "a b", "en", "lan=en&ie=UTF-8&text=a%20b&spd=5&source=web"},
        {"line break only", "\n", "zh", "lan=zh&ie=UTF-8&text=%0A&spd=5&source=web"},
        {"punctuation", "-._~", "de", "lan=de&ie=UTF-8&text=%2D%2E%5F%7E&spd=5&source=web"},
        {"chinese", QString::fromUtf8("你好"), "zh",
         "lan=zh&ie=UTF-8&text=%E4%BD%A0%E5%A5%BD&spd=5&source=web"},
        // Full Unicode reaches the service: no replacement by '?'.
        {"outside gbk", QString::fromUtf8("ß€"), "de",
         "lan=de&ie=UTF-8&text=%C3%9F%E2%82%AC&spd=5&source=web"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SpeechPostData(c.text, c.code), QByteArray(c.body)) << c.name;
}

TEST(SpeechRequest, FileNameIsTheTickInDecimal) {
    TempHome home;
    EXPECT_EQ(SpeechCacheFolder(), home.dataDir() + "/quilltts");
    EXPECT_EQ(SpeechFilePath(0), home.dataDir() + "/quilltts/0.mp3");
    EXPECT_EQ(SpeechFilePath(4294967295u), home.dataDir() + "/quilltts/4294967295.mp3");
    EXPECT_EQ(SpeechFilePath(1234567), home.dataDir() + "/quilltts/1234567.mp3");
}

} // namespace
