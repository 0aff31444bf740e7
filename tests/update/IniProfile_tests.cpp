#include "update/IniProfile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(IniProfile, ProfileRules) {
    const QByteArray text = "\xEF\xBB\xBF"
                            "; the version file\r\n"
                            "[other]\r\n"
                            "version=1.0\r\n"
                            "[ Information ]\r\n"
                            "  VERSION =  8.1  \r\n"
                            "version=9.9\r\n"
                            "quoted=\"  spaced  \"\r\n"
                            "single='x'\r\n"
                            "unbalanced=\"x\r\n"
                            "empty=\r\n"
                            "no equals sign\r\n"
                            "Path=http://example.test/a=b\n"
                            "[later]\n"
                            "Path=wrong\n";
    const TIniProfile ini(text);
    const struct {
        const char* section;
        const char* key;
        const char* expected;
    } cases[] = {
        {"information", "version", "8.1"}, // case, blanks, first of repeated keys
        {"INFORMATION", "Version", "8.1"},
        {"other", "version", "1.0"},
        {"information", "quoted", "  spaced  "},
        {"information", "single", "x"},
        {"information", "unbalanced", "\"x"},
        {"information", "empty", ""},
        {"information", "path", "http://example.test/a=b"},
        {"information", "missing", "<default>"},
        {"nowhere", "version", "<default>"},
        {"later", "path", "wrong"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ini.ReadString(c.section, c.key, "<default>"), QString::fromUtf8(c.expected))
            << c.section << "/" << c.key;
}

TEST(IniProfile, ValuesAreCutAt2047Bytes) {
    const struct {
        const char* name;
        QByteArray value;
        QByteArray expected;
    } cases[] = {
        {"short", QByteArray(2047, 'a'), QByteArray(2047, 'a')},
        {"long", QByteArray(5000, 'b'), QByteArray(2047, 'b')},
        // 2046 bytes then a 3-byte character: it would be split, so it goes.
        {"no split character", QByteArray(2046, 'c') + "\xE4\xBD\xA0" + "d", QByteArray(2046, 'c')},
        {"character fits", QByteArray(2044, 'e') + "\xE4\xBD\xA0" + "f",
         QByteArray(2044, 'e') + "\xE4\xBD\xA0"},
    };
    for (const auto& c : cases) {
        const TIniProfile ini("[information]\nNewVersionPrompt=" + c.value + "\n");
        EXPECT_EQ(ini.ReadString("information", "NewVersionPrompt").toUtf8(), c.expected) << c.name;
    }
}

TEST(IniProfile, ReadsFilesAndMissingOnes) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/version.ini";
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QString::fromUtf8("[information]\nNewVersionPrompt=新版本 8.1\n").toUtf8());
    f.close();
    EXPECT_EQ(TIniProfile::FromFile(path).ReadString("information", "newversionprompt"),
              QString::fromUtf8("新版本 8.1"));
    EXPECT_EQ(TIniProfile::FromFile(dir.path() + "/none.ini").ReadString("information", "version"),
              "");
}

} // namespace
