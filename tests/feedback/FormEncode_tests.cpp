#include "feedback/FormEncode.h"

#include <gtest/gtest.h>

namespace {

TEST(FormEncode, KeepsOnlyLettersAndDigits) {
    const struct {
        QByteArray in;
        const char* out;
    } cases[] = {
        {"", ""},
        {"aZ09", "aZ09"},
        {" ", "+"},
        {"a b", "a+b"},
        {"-._~", "%2D%2E%5F%7E"},
        {"&=%+", "%26%3D%25%2B"},
        {"\r\n\t", "%0D%0A%09"},
        {QByteArray("\x00\x7F\x80\xFF", 4), "%00%7F%80%FF"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormEncode(c.in), QByteArray(c.out)) << c.in.toHex().constData();
}

TEST(FormEncode, AppendsToWhatIsThere) {
    QByteArray result = "x=";
    FormEncode("a-", result);
    EXPECT_EQ(result, "x=a%2D");
}

TEST(FormEncode, GbkConversion) {
    const struct {
        QString in;
        QByteArray out;
    } cases[] = {
        {"plain ASCII", "plain ASCII"},
        {QString::fromUtf8("您好"), "\xC4\xFA\xBA\xC3"},
        {QString::fromUtf8("留言成功"), "\xC1\xF4\xD1\xD4\xB3\xC9\xB9\xA6"},
        {QString::fromUtf8("€"), "\x80"},
        // Characters GBK lacks become one '?' each, a surrogate pair included.
        {QString::fromUtf8("a😀b"), "a?b"},
        {QString::fromUtf8("\xE0\xB8\x81"), "?"}, // Thai
        {QString(QChar(0xD800)) + "x", "?x"},     // a lone surrogate
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToGbk(c.in), c.out) << c.in.toStdString();
}

FeedbackInput Input(const QString& contact, const QString& message) {
    FeedbackInput in;
    in.contact = contact;
    in.message = message;
    in.now = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 59));
    in.productTag = "TAG";
    in.installationId = "0123456789abcdef0123456789abcdef";
    return in;
}

TEST(FormEncode, FeedbackBodyByteForByte) {
    const struct {
        const char* name;
        QString contact, message;
        const char* email;
        const char* text;
    } cases[] = {
        {"chinese with line break", QString::fromUtf8(" me @ x.cn "),
         QString::fromUtf8("a b\r\nc你好"), "me%40x%2Ecn", "a%26nbsp%3Bb%3Cbr%3E%0Ac%C4%E3%BA%C3"},
        {"blanks only, empty contact", "", "  ", "", "%26nbsp%3B%26nbsp%3B"},
        {"qq number", "QQ 12345", "ok", "QQ12345", "ok"},
    };
    for (const auto& c : cases) {
        const QByteArray expected = QByteArray("user=orbix&name=TAG&email=") + c.email +
                                    "&title=%C4%FA%BA%C3&text=" + c.text +
                                    "&image=on&home=0123456789abcdef0123456789abcdef" +
                                    "&time=2024%2D05%2D06%26nbsp%3B07%3A08";
        EXPECT_EQ(FeedbackBody(Input(c.contact, c.message)), expected) << c.name;
    }
}

TEST(FormEncode, TimeUses24HourClockAndPadding) {
    FeedbackInput in = Input("", "x");
    in.now = QDateTime(QDate(987, 12, 31), QTime(23, 5));
    EXPECT_TRUE(FeedbackBody(in).endsWith("&time=0987%2D12%2D31%26nbsp%3B23%3A05"));
}

TEST(FormEncode, SuccessMarkerMustBeAWholeLine) {
    const QByteArray marker = "\xC1\xF4\xD1\xD4\xB3\xC9\xB9\xA6";
    const struct {
        const char* name;
        QByteArray reply;
        bool found;
    } cases[] = {
        {"alone", marker, true},
        {"page lines", "<html>\r\n" + marker + "\r\n</html>", true},
        {"LF lines", "a\n" + marker + "\nb", true},
        {"CR lines", "a\r" + marker + "\rb", true},
        {"last line", "x\r\n" + marker, true},
        {"inside a longer line", "<p>" + marker + "</p>", false},
        {"trailing blank", marker + " \r\n", false},
        {"empty", "", false},
        {"utf-8 marker", QString::fromUtf8("留言成功").toUtf8(), false},
        // Latin-1 case folding would wrongly match C1 with E1.
        {"folded byte", "\xE1\xF4\xD1\xD4\xB3\xC9\xB9\xA6", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HasSuccessMarker(c.reply), c.found) << c.name;
}

} // namespace
