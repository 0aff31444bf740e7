#include "translate/TranslationRequest.h"

#include <gtest/gtest.h>

namespace {

TEST(BuildTranslationBody, WorkedExampleByteForByte) {
    EXPECT_EQ(BuildTranslationBody(u"en", u"zh-CN", u"Good morning\nThank you"),
              "client=gtx&dt=bd&dt=ex&dt=ld&dt=md&dt=qca&dt=rw&dt=rm&dt=ss&dt=t&dt=at&&sl=en&tl=zh-"
              "CN&q=Good%20morning%0D%0AThank%20you");
}

struct BodyCase {
    const char16_t* source;
    const char16_t* target;
    QString text;
    QByteArray tail; // everything after the fixed text
};

TEST(BuildTranslationBody, CodesStayTextIsEncoded) {
    const BodyCase cases[] = {
        // No selection in the source list: the code is empty and the body says so.
        {u"", u"zh-CN", "x", "&tl=zh-CN&q=x"},
        {u"auto", u"zh-TW", "a-b_c.d~e/f+g", "auto&tl=zh-TW&q=a%2Db%5Fc%2Ed%7Ee%2Ff%2Bg"},
        {u"zh-CN", u"Is", QString::fromUtf8("中"), "zh-CN&tl=Is&q=%E4%B8%AD"},
        // Outside the BMP: one 3-byte sequence per surrogate half.
        {u"en", u"ja", QString::fromUtf8("\xF0\x9F\x98\x80"), "en&tl=ja&q=%ED%A0%BD%ED%B8%80"},
        {u"en", u"de", "a\r\nb", "en&tl=de&q=a%0D%0Ab"},
        {u"en", u"de", "a\rb\n", "en&tl=de&q=a%0D%0Ab%0D%0A"},
        {u"en", u"de", "\n\n", "en&tl=de&q=%0D%0A%0D%0A"},
        {u"en", u"de", " ", "en&tl=de&q=%20"},
        {u"en", u"de", QString(QChar(0)), "en&tl=de&q=%00"},
    };
    for (const BodyCase& c : cases) {
        const QByteArray body = BuildTranslationBody(c.source, c.target, c.text);
        ASSERT_TRUE(body.startsWith(kTranslateFormPrefix));
        EXPECT_EQ(body.mid(qsizetype(sizeof kTranslateFormPrefix) - 1), c.tail) << c.tail.data();
    }
}

} // namespace
