#include "TempHome.h"
#include "base/Preferences.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

const QByteArray kHead = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\quilltranslation]\n";

void WriteFile(const QByteArray& values) {
    const QString path = SettingsKey::FilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(kHead + values + "\n");
}

QByteArray FileBytes() {
    QFile file(SettingsKey::FilePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Whatever is stored, a preference reads as the window and the command line
// rely on: absent is the fallback, a value of the other type is an error for
// the strict reader and the fallback for the lenient one.
TEST(Preferences, StoredAbsentAndWronglyTypedValues) {
    const struct {
        const char* name;
        QByteArray file;
        IntPreference number;
        TextPreference text;
        int32_t number_read; // Read and Get alike
        QString text_read;
        const char* wrong; // the name in Read's error; null: no error
    } rows[] = {
        {"absent", "", {"Count", 7}, {"Label", "默认"}, 7, QStringLiteral("默认"), nullptr},
        {"stored in another case",
         "\"count\"=dword:0000000b\n\"LABEL\"=\"x\"",
         {"Count", 7},
         {"Label", ""},
         11,
         "x",
         nullptr},
        {"number stored as text", "\"Count\"=\"5\"", {"Count", 7}, {"Label", ""}, 7, "", "Count"},
        {"text stored as a number",
         "\"Label\"=dword:00000001",
         {"Count", 7},
         {"Label", "d"},
         7,
         "d",
         "Label"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempHome home;
        WriteFile(row.file);
        EXPECT_EQ(Preferences::Get(row.number), row.number_read);
        EXPECT_EQ(Preferences::Get(row.text), row.text_read);
        auto prefs = Preferences::Open();
        ASSERT_TRUE(prefs);
        if (!row.wrong) {
            EXPECT_EQ(prefs->Read(row.number), row.number_read);
            EXPECT_EQ(prefs->Read(row.text), row.text_read);
            continue;
        }
        const std::string message = std::string("Invalid data type for '") + row.wrong + "'";
        try {
            prefs->Read(row.number);
            prefs->Read(row.text);
            ADD_FAILURE() << "no error";
        } catch (const ESettingsError& error) {
            EXPECT_EQ(error.what(), message);
        }
    }
}

TEST(Preferences, AFileThatCannotBeReadGivesTheFallbacksAndStaysAsItIs) {
    TempHome home;
    QDir().mkpath(QFileInfo(SettingsKey::FilePath()).absolutePath());
    QFile file(SettingsKey::FilePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a settings file\n\"Face\"=dword:00000003\n");
    file.close();
    EXPECT_EQ(Preferences::Open(), nullptr);
    EXPECT_EQ(Preferences::Get(IntPreference{"Face", 1}), 1);
    EXPECT_EQ(Preferences::Get(TextPreference{"Keys", "Ctrl+A"}), "Ctrl+A");
    EXPECT_EQ(FileBytes(), "not a settings file\n\"Face\"=dword:00000003\n");
}

// The engine menu writes the engine under its own spelling; a name already in
// the file keeps the file's spelling.
TEST(Preferences, ANewValueTakesItsWrittenSpelling) {
    const struct {
        QByteArray before;
        QByteArray after;
    } rows[] = {
        {"", "\"ocr\"=dword:00000002\n"},
        {"\"OCR\"=dword:00000001", "\"OCR\"=dword:00000002\n"},
    };
    for (const auto& row : rows) {
        TempHome home;
        WriteFile(row.before);
        auto prefs = Preferences::Open();
        ASSERT_TRUE(prefs);
        ASSERT_TRUE(prefs->Write(pref::Ocr, 2));
        ASSERT_TRUE(prefs->Write(pref::OcrPath, QStringLiteral("a\"b")));
        EXPECT_EQ(FileBytes(), kHead + row.after + "\"OCRPath\"=\"a\\\"b\"\n\n")
            << row.before.data();
        EXPECT_EQ(prefs->Read(pref::Ocr), 2);
    }
}

} // namespace
