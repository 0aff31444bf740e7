#include "TempHome.h"
#include "base/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <climits>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kEmptyKey = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\quilltranslation]\n\n";

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST(Settings, FileFollowsXdgConfigHome) {
    TempHome home;
    EXPECT_EQ(SettingsKey::FilePath(), home.configDir() + "/quilltranslation/settings.reg");
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsKey::FilePath(), home.path() + "/.config/quilltranslation/settings.reg");
    qputenv("XDG_CONFIG_HOME", "relative/dir");
    EXPECT_EQ(SettingsKey::FilePath(), home.path() + "/.config/quilltranslation/settings.reg");
}

TEST(Settings, FirstOpenCreatesAnEmptyKey) {
    TempHome home;
    auto key = SettingsKey::Open();
    ASSERT_TRUE(key);
    EXPECT_EQ(ReadAll(SettingsKey::FilePath()), kEmptyKey);
    EXPECT_FALSE(key->ValueExists("SourceLanguage"));
    EXPECT_EQ(key->ReadInteger("SourceLanguage"), 0);
    EXPECT_EQ(key->ReadString("OCRPath"), QString());
}

TEST(Settings, ValuesRoundTripThroughTheFile) {
    TempHome home;
    struct IntCase {
        const char* name;
        int32_t value;
    } const ints[] = {{"Zero", 0}, {"Ten", 10}, {"Minus", -1}, {"Max", INT_MAX}, {"Min", INT_MIN}};
    struct StrCase {
        const char* name;
        QString value;
    } const strs[] = {
        {"Empty", ""},
        {"Chinese", QString::fromUtf8("软件界面（一）")},
        {"Quotes", R"(a"b\c\\"d)"},
        {"Lines", "one\r\ntwo\nthree"},
        {"Nul", QString("x") + QChar(0) + "y"},
        {"Pair", QString::fromUtf8("😀")},
        {"Brackets", "[HKEY]\"=dword:1"},
    };
    {
        auto key = SettingsKey::Open();
        ASSERT_TRUE(key);
        for (const auto& c : ints)
            ASSERT_TRUE(key->WriteInteger(c.name, c.value));
        for (const auto& c : strs)
            ASSERT_TRUE(key->WriteString(c.name, c.value));
        // Every write has already replaced the file.
        EXPECT_TRUE(ReadAll(SettingsKey::FilePath()).contains("\"Min\"=dword:80000000\n"));
    }
    auto key = SettingsKey::Open();
    ASSERT_TRUE(key);
    for (const auto& c : ints)
        EXPECT_EQ(key->ReadInteger(c.name), c.value) << c.name;
    for (const auto& c : strs)
        EXPECT_EQ(key->ReadString(c.name), c.value) << c.name;
}

TEST(Settings, ExactFileLayout) {
    TempHome home;
    auto key = SettingsKey::Open();
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->WriteInteger("SourceLanguage", 10));
    ASSERT_TRUE(key->WriteInteger("TargetLanguage", -1));
    ASSERT_TRUE(key->WriteString("OCRPath", R"(C:\a "b")"));
    ASSERT_TRUE(key->WriteString("Note", QString::fromUtf8("中")));
    EXPECT_EQ(ReadAll(SettingsKey::FilePath()),
              "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\quilltranslation]\n"
              "\"SourceLanguage\"=dword:0000000a\n"
              "\"TargetLanguage\"=dword:ffffffff\n"
              "\"OCRPath\"=\"C:\\\\a \\\"b\\\"\"\n"
              "\"Note\"=\"\xE4\xB8\xAD\"\n\n");
}

TEST(Settings, NamesIgnoreCaseAndKeepTheFirstSpelling) {
    TempHome home;
    auto key = SettingsKey::Open();
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->WriteInteger("OCR", 2));
    ASSERT_TRUE(key->WriteInteger("ocr", 1));
    EXPECT_TRUE(key->ValueExists("Ocr"));
    EXPECT_EQ(key->ReadInteger("OCR"), 1);
    const QByteArray file = ReadAll(SettingsKey::FilePath());
    EXPECT_TRUE(file.contains("\"OCR\"=dword:00000001\n"));
    EXPECT_FALSE(file.contains("\"ocr\""));
    // Changing the type replaces the value under the same name.
    ASSERT_TRUE(key->WriteString("oCr", "x"));
    EXPECT_EQ(key->ReadString("ocr"), "x");
    EXPECT_EQ(ReadAll(SettingsKey::FilePath()).count("ocr") +
                  ReadAll(SettingsKey::FilePath()).count("OCR"),
              1);
}

TEST(Settings, WrongTypeRaisesTheNamedError) {
    TempHome home;
    WriteAll(SettingsKey::FilePath(),
             "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\quilltranslation]\n"
             "\"Face\"=\"2\"\n"
             "\"OCRPath\"=dword:00000001\n"
             "\"Blob\"=hex:01,02,\\\n  03,04\n"
             "\"Expand\"=hex(2):41,00,00,00\n");
    auto key = SettingsKey::Open();
    ASSERT_TRUE(key);
    struct Case {
        const char* name;
        bool asInteger;
        const char* message;
    } const cases[] = {
        {"Face", true, "Invalid data type for 'Face'"},
        {"face", true, "Invalid data type for 'face'"},
        {"OCRPath", false, "Invalid data type for 'OCRPath'"},
        {"Blob", true, "Invalid data type for 'Blob'"},
        {"Blob", false, "Invalid data type for 'Blob'"},
        {"Expand", false, "Invalid data type for 'Expand'"},
    };
    for (const auto& c : cases) {
        try {
            if (c.asInteger)
                key->ReadInteger(c.name);
            else
                key->ReadString(c.name);
            ADD_FAILURE() << "no error for " << c.name;
        } catch (const ESettingsError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
    // Values of other types survive a rewrite byte for byte.
    ASSERT_TRUE(key->WriteInteger("SourceLanguage", 3));
    const QByteArray file = ReadAll(SettingsKey::FilePath());
    EXPECT_TRUE(file.contains("\"Blob\"=hex:01,02,\\\n  03,04\n"));
    EXPECT_TRUE(file.contains("\"Expand\"=hex(2):41,00,00,00\n"));
    EXPECT_TRUE(file.contains("\"Face\"=\"2\"\n"));
}

TEST(Settings, ADanglingContinuationNeverSwallowsTheNextValue) {
    TempHome home;
    for (const char* end :
         {"\"Blob\"=hex:01,\\\n", "\"Blob\"=hex:01,\\\n\n\"Face\"=dword:00000002\n"}) {
        WriteAll(SettingsKey::FilePath(),
                 QByteArray("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\quilltranslation]\n") + end);
        auto key = SettingsKey::Open();
        ASSERT_TRUE(key) << end;
        ASSERT_TRUE(key->WriteInteger("SourceLanguage", 7));
        auto again = SettingsKey::Open();
        ASSERT_TRUE(again) << end;
        EXPECT_EQ(again->ReadInteger("SourceLanguage"), 7) << end;
        EXPECT_TRUE(again->ValueExists("Blob")) << end;
    }
}

TEST(Settings, AcceptsOrdinaryVariationsOfTheFormat) {
    TempHome home;
    struct Case {
        const char* label;
        QByteArray text;
        int32_t face;
    } const cases[] = {
        {"crlf",
         "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\quilltranslation]\r\n"
         "\"Face\"=dword:00000003\r\n",
         3},
        {"bom and comment",
         "\xEF\xBB\xBFREGEDIT4\n; written by hand\n"
         "[hkey_current_user\\software\\QUILLTRANSLATION]\n\"Face\"=dword:A\n",
         10},
        {"upper-case hex",
         "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\quilltranslation]\n"
         "\"Face\"=DWORD:FFFFFFFE\n",
         -2},
        {"later duplicate wins",
         "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\quilltranslation]\n"
         "\"Face\"=dword:1\n\"FACE\"=dword:2\n",
         2},
        {"empty file", "", 0},
        {"header only", "REGEDIT4\n", 0},
    };
    for (const auto& c : cases) {
        WriteAll(SettingsKey::FilePath(), c.text);
        auto key = SettingsKey::Open();
        ASSERT_TRUE(key) << c.label;
        EXPECT_EQ(key->ReadInteger("Face"), c.face) << c.label;
    }
}

TEST(Settings, UnparseableFileIsNotOpenedNorOverwritten) {
    TempHome home;
    const QByteArray section = "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\quilltranslation]\n";
    struct Case {
        const char* label;
        QByteArray text;
    } const cases[] = {
        {"not a registry file", "hello world\n"},
        {"other header", "Windows Registry Editor Version 5.00\n"},
        {"other key", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\x]\n\"A\"=dword:1\n"},
        {"two sections", section + "[HKEY_CURRENT_USER\\Software\\quilltranslation\\sub]\n"},
        {"value before section", "REGEDIT4\n\"A\"=dword:00000001\n"},
        {"unterminated name", section + "\"A=dword:00000001\n"},
        {"unterminated text", section + "\"A\"=\"abc\n"},
        {"text then junk", section + "\"A\"=\"abc\" x\n"},
        {"unknown escape", section + "\"A\"=\"a\\tb\"\n"},
        {"bad hex", section + "\"A\"=dword:xyz\n"},
        {"nine digits", section + "\"A\"=dword:123456789\n"},
        {"signed", section + "\"A\"=dword:-1\n"},
        {"no digits", section + "\"A\"=dword:\n"},
        {"unknown type", section + "\"A\"=qword:1\n"},
        {"bare name", section + "A=dword:00000001\n"},
        {"invalid utf-8", section + "\"A\"=\"\xC3\x28\"\n"},
    };
    for (const auto& c : cases) {
        WriteAll(SettingsKey::FilePath(), c.text);
        EXPECT_FALSE(SettingsKey::Open()) << c.label;
        EXPECT_EQ(ReadAll(SettingsKey::FilePath()), c.text) << c.label;
    }
}

TEST(Settings, MangledFilesEitherOpenAndRoundTripOrStayUntouched) {
    TempHome home;
    const QByteArray valid = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\quilltranslation]\n"
                             "\"SourceLanguage\"=dword:0000000a\n\"OCRPath\"=\"a\\\\b \\\"c\\\"\"\n"
                             "\"Blob\"=hex:01,\\\n 02\n";
    const char alphabet[] = "\"\\=[]:\n\rdwordhex0aZ\x80\xE4";
    const quint32 seed = QRandomGenerator::global()->generate();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    QRandomGenerator random(seed);
    for (int round = 0; round < 500; ++round) {
        QByteArray text = valid;
        for (int edits = int(random.bounded(1, 4)); edits > 0; --edits) {
            const int at = int(random.bounded(text.size()));
            const char c = alphabet[random.bounded(int(sizeof alphabet) - 1)];
            switch (random.bounded(3)) {
            case 0:
                text[at] = c;
                break;
            case 1:
                text.insert(at, c);
                break;
            default:
                text.remove(at, 1);
            }
        }
        WriteAll(SettingsKey::FilePath(), text);
        auto key = SettingsKey::Open();
        if (!key) {
            ASSERT_EQ(ReadAll(SettingsKey::FilePath()), text);
            continue;
        }
        // Whatever was understood is written back so that it reads the same.
        const bool hadSource = key->ValueExists("SourceLanguage");
        int32_t source = 0;
        try {
            source = key->ReadInteger("SourceLanguage");
        } catch (const ESettingsError&) {
            continue;
        }
        ASSERT_TRUE(key->WriteInteger("Face", 1)) << text.toStdString();
        auto again = SettingsKey::Open();
        ASSERT_TRUE(again) << text.toStdString();
        EXPECT_EQ(again->ValueExists("SourceLanguage"), hadSource);
        EXPECT_EQ(again->ReadInteger("SourceLanguage"), source);
    }
}

TEST(Settings, FileSpoiledWhileOpenIsLeftAlone) {
    TempHome home;
    auto key = SettingsKey::Open();
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->WriteInteger("Face", 2));
    WriteAll(SettingsKey::FilePath(), "garbage");
    EXPECT_FALSE(key->WriteInteger("Face", 3));
    EXPECT_EQ(ReadAll(SettingsKey::FilePath()), "garbage");
    EXPECT_EQ(key->ReadInteger("Face"), 2);
}

TEST(Settings, WritesOfTwoOpenKeysBothSurvive) {
    TempHome home;
    auto first = SettingsKey::Open();
    auto second = SettingsKey::Open();
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(first->WriteInteger("ocr", 2));
    ASSERT_TRUE(second->WriteInteger("SourceLanguage", 5));
    auto again = SettingsKey::Open();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->ReadInteger("OCR"), 2);
    EXPECT_EQ(again->ReadInteger("SourceLanguage"), 5);
}

TEST(Settings, FailedWriteKeepsThePreviousFile) {
    TempHome home;
    auto key = SettingsKey::Open();
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->WriteString("OCRPath", "before"));
    const QByteArray before = ReadAll(SettingsKey::FilePath());

    // A disk that fills up mid-write: the file size limit holds for root too.
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = rlim_t(before.size());
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = key->WriteString("OCRPath", QString(4096, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(ReadAll(SettingsKey::FilePath()), before);
    EXPECT_EQ(key->ReadString("OCRPath"), "before");
    const QStringList leftovers = QDir(QFileInfo(SettingsKey::FilePath()).absolutePath())
                                      .entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(leftovers, QStringList{"settings.reg"});
}

TEST(Settings, ReadOnlyFolderKeepsThePreviousFile) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    TempHome home;
    auto key = SettingsKey::Open();
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->WriteInteger("Face", 1));
    const QByteArray before = ReadAll(SettingsKey::FilePath());
    const QByteArray dir = QFile::encodeName(QFileInfo(SettingsKey::FilePath()).absolutePath());
    ::chmod(dir.constData(), 0500);
    EXPECT_FALSE(key->WriteInteger("Face", 2));
    ::chmod(dir.constData(), 0700);
    EXPECT_EQ(ReadAll(SettingsKey::FilePath()), before);
}

TEST(Settings, KeyThatCannotBeHad) {
    TempHome home;
    // The settings path is taken by a folder, or its parent by a plain file.
    QDir().mkpath(SettingsKey::FilePath());
    EXPECT_FALSE(SettingsKey::Open());
    QDir(home.configDir()).removeRecursively();
    WriteAll(home.path() + "/plain", "x");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + "/plain"));
    EXPECT_FALSE(SettingsKey::Open());
}

} // namespace
