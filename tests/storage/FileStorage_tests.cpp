#include "FileSizeLimit.h"
#include "TempHome.h"
#include "storage/FileStorage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>

namespace {

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void WriteFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

struct Call {
    QObject* sender;
    QString file;
    int32_t size;
    bool flag;
};

// A storage owned by a stand-in window, with two files and recorded events.
class FileStorageTest : public ::testing::Test {
protected:
    void SetUp() override {
        storage = new TFileStorage(&owner);
        storage->AddFile("cursor.ani", "ANI-DATA");
        storage->AddFile("Lib.so", QByteArray(1000, 'L'));
        storage->OnExtract = [this](QObject* s, const QString& f, int32_t n, bool& allow) {
            extracting.push_back({s, f, n, allow});
            allow = !veto;
        };
        storage->OnExtracted = [this](QObject* s, const QString& f, int32_t n, bool ok) {
            extracted.push_back({s, f, n, ok});
        };
    }
    QString Folder() const { return home.path() + "/x"; }

    TempHome home;
    QObject owner;
    TFileStorage* storage = nullptr;
    std::vector<Call> extracting, extracted;
    bool veto = false;
};

QByteArray Le32(int32_t v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(uint32_t(v) >> (8 * i));
    return b;
}

QByteArray PackedRecord(const QByteArray& name, int32_t size, const QByteArray& blocks) {
    return Le32(int32_t(name.size())) + name + Le32(int32_t(blocks.size() + 4)) + Le32(size) +
           blocks;
}

// Lets this process map only headroom bytes more than it has mapped now.
bool CapAddressSpace(rlim_t headroom) {
    std::ifstream status("/proc/self/status");
    std::string key;
    rlim_t kib = 0;
    while (status >> key && key != "VmSize:")
        status.ignore(256, '\n');
    status >> kib;
    const struct rlimit cap { kib * 1024 + headroom, kib * 1024 + headroom };
    return kib > 0 && ::setrlimit(RLIMIT_AS, &cap) == 0;
}

} // namespace

TEST_F(FileStorageTest, ExtractFileMatchesNamesExactly) {
    const QString path = Folder() + "/out.bin";
    EXPECT_FALSE(storage->ExtractFile("Cursor.ani", path));
    EXPECT_FALSE(storage->ExtractFile("lib.so", path));
    EXPECT_TRUE(extracting.empty()) << "no event for a name that is not stored";
    EXPECT_FALSE(QFile::exists(path));

    ASSERT_TRUE(storage->ExtractFile("cursor.ani", path));
    EXPECT_EQ(ReadFile(path), "ANI-DATA");
    ASSERT_EQ(extracted.size(), 1u);
    EXPECT_EQ(extracted[0].sender, &owner) << "events come from the owner, not the storage";
    EXPECT_EQ(extracted[0].file, path);
    EXPECT_EQ(extracted[0].size, 8);
    EXPECT_TRUE(extracted[0].flag);
    EXPECT_EQ(extracting[0].sender, &owner);
    EXPECT_TRUE(extracting[0].flag) << "permission starts out granted";

    // A second extraction replaces the file, whatever is there.
    WriteFile(path, QByteArray(5000, 'q'));
    ASSERT_TRUE(storage->ExtractFile("cursor.ani", path));
    EXPECT_EQ(ReadFile(path), "ANI-DATA");
    EXPECT_TRUE(QFileInfo(path).isWritable());
}

TEST_F(FileStorageTest, VetoWritesNothingAndRaisesNoExtracted) {
    veto = true;
    const QString path = Folder() + "/vetoed.bin";
    EXPECT_TRUE(storage->ExtractFile("cursor.ani", path));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_FALSE(QDir(Folder()).exists()) << "not even the folder";
    EXPECT_EQ(extracting.size(), 1u);
    EXPECT_TRUE(extracted.empty());
}

TEST_F(FileStorageTest, FailedWriteIsReportedAsFailure) {
    storage->AutoExtract.ExtractTo.CreatePath = false;
    const QString path = Folder() + "/deep/er/file.bin";
    EXPECT_FALSE(storage->ExtractFile("Lib.so", path));
    ASSERT_EQ(extracted.size(), 1u);
    EXPECT_FALSE(extracted[0].flag);

    storage->AutoExtract.ExtractTo.CreatePath = true;
    EXPECT_TRUE(storage->ExtractFile("Lib.so", path));
    EXPECT_EQ(ReadFile(path), QByteArray(1000, 'L'));
    // A folder standing where the file should go.
    QDir().mkpath(Folder() + "/taken");
    EXPECT_FALSE(storage->ExtractFile("Lib.so", Folder() + "/taken"));
}

TEST_F(FileStorageTest, FullDiskKeepsThePreviousFileAndReportsFailure) {
    const QString path = Folder() + "/lib.so";
    WriteFile(path, "previous");
    bool written = true;
    {
        FileSizeLimit limit(100); // below the stored file's 1000 bytes
        ASSERT_TRUE(limit.Active());
        written = storage->ExtractFile("Lib.so", path);
    }
    EXPECT_FALSE(written);
    ASSERT_EQ(extracted.size(), 1u);
    EXPECT_FALSE(extracted[0].flag);
    EXPECT_EQ(ReadFile(path), "previous");
}

TEST_F(FileStorageTest, EmptyPathUsesTheConfiguredFolder) {
    TExtractTo& to = storage->AutoExtract.ExtractTo;
    to.ToplevelDir = tdNone;
    to.Subdirectory = Folder() + "/sub"; // no trailing separator: joined as it is
    ASSERT_TRUE(storage->ExtractFile("cursor.ani"));
    EXPECT_EQ(ReadFile(Folder() + "/subcursor.ani"), "ANI-DATA");

    to.Subdirectory = Folder() + "/sub/";
    ASSERT_TRUE(storage->ExtractFile("cursor.ani"));
    EXPECT_EQ(ReadFile(Folder() + "/sub/cursor.ani"), "ANI-DATA");

    // A stored name with a folder part never steers the write elsewhere.
    storage->AddFile("../escape.txt", "x");
    EXPECT_FALSE(storage->ExtractFile("../escape.txt"));
    EXPECT_FALSE(QFile::exists(Folder() + "/escape.txt"));
}

TEST(FileStorageFolders, ResolveExtractFolderMapsEveryValue) {
    TempHome home;
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", home.path().toUtf8());
    const QString program = QCoreApplication::applicationDirPath() + "/";
    struct Case {
        TToplevelDir dir;
        QString sub;
        QString want;
    };
    const Case cases[] = {
        {tdCurrentDir, "", program},
        {tdCurrentDir, "//a/b", program + "a/b/"},
        {tdWindowsDir, "", "/usr/share/"},
        {tdTempDir, "t", home.path() + "/t/"},
        {tdSystemDir, "", "/usr/lib/"},
        {tdMediaDir, "", "/usr/share/sounds/"},
        {tdCursorsDir, "", "/usr/share/icons/"},
        {tdHelpDir, "", "/usr/share/help/"},
        {tdSamplesDir, "", "/usr/share/doc/"},
        {tdDesktop, "", home.path() + "/Desktop/"},
        {tdProgramFiles, "Quillmate", "/opt/Quillmate/"},
        {tdMyDocuments, "", home.path() + "/Documents/"},
        {tdMyPictures, "", home.path() + "/Pictures/"},
        {tdAppData, "q/", home.configDir() + "/q/"},
        {tdNone, "rel/dir", "rel/dir"},
        {tdNone, "", ""},
    };
    for (const Case& c : cases) {
        TExtractTo to;
        to.ToplevelDir = c.dir;
        to.Subdirectory = c.sub;
        EXPECT_EQ(TFileStorage::ResolveExtractFolder(to), c.want) << int(c.dir);
    }
    qputenv("TMPDIR", oldTmp);
}

TEST(FileStorageFolders, ForceFileDirectoriesAndIsEmptyDirectory) {
    TempHome home;
    const QString root = home.path();
    TFileStorage::ForceFileDirectories(root + "/a/b/c/file.txt");
    EXPECT_TRUE(QFileInfo(root + "/a/b/c").isDir());
    EXPECT_FALSE(QFileInfo::exists(root + "/a/b/c/file.txt"));

    EXPECT_TRUE(TFileStorage::IsEmptyDirectory(root + "/a/b/c"));
    EXPECT_FALSE(TFileStorage::IsEmptyDirectory(root + "/a/b"));
    EXPECT_FALSE(TFileStorage::IsEmptyDirectory(root + "/missing"));
    WriteFile(root + "/a/b/c/.hidden", "h");
    EXPECT_FALSE(TFileStorage::IsEmptyDirectory(root + "/a/b/c"));
    EXPECT_FALSE(TFileStorage::IsEmptyDirectory(root + "/a/b/c/.hidden"));
}

TEST_F(FileStorageTest, LoadedExtractsByOverwriteRule) {
    TAutoExtract& a = storage->AutoExtract;
    a.ExtractTo.ToplevelDir = tdNone;
    a.ExtractTo.Subdirectory = Folder() + "/";
    const QString cursor = Folder() + "/cursor.ani", lib = Folder() + "/Lib.so";

    storage->Loaded(); // not enabled: nothing happens
    EXPECT_FALSE(QFile::exists(cursor));

    a.Enabled = true;
    struct Case {
        TFileStorageOverwrite rule;
        QByteArray cursorBefore; // empty: no file
        QByteArray cursorAfter;
    };
    const Case cases[] = {
        {owIfSizeDifferent, "", "ANI-DATA"},
        {owIfSizeDifferent, "SAMESIZE", "SAMESIZE"}, // same size, other content: left alone
        {owIfSizeDifferent, "longer content", "ANI-DATA"},
        {owNever, "", "ANI-DATA"},
        {owNever, "longer content", "longer content"},
        {owAlways, "SAMESIZE", "ANI-DATA"},
    };
    for (const Case& c : cases) {
        QFile::remove(cursor);
        QFile::remove(lib);
        if (!c.cursorBefore.isEmpty())
            WriteFile(cursor, c.cursorBefore);
        a.Overwrite = c.rule;
        storage->Loaded();
        EXPECT_EQ(ReadFile(cursor), c.cursorAfter) << int(c.rule) << " " << c.cursorBefore.data();
        EXPECT_EQ(ReadFile(lib), QByteArray(1000, 'L'));
    }
}

TEST(FileStorageRemoval, OnlyTheFirstFilesFolderGoesAndOnlyWhenEmpty) {
    TempHome home;
    const QString one = home.path() + "/one", two = home.path() + "/two";
    struct Case {
        bool enabled;
        bool strayFile; // something else in the first folder
        bool filesRemain;
        bool firstFolderRemains;
    };
    const Case cases[] = {
        {true, false, false, false},
        {true, true, false, true},
        {false, false, true, true}, // recorded, but nothing deleted
    };
    for (const Case& c : cases) {
        QDir(one).removeRecursively();
        QDir(two).removeRecursively();
        QStringList recorded;
        {
            QObject owner;
            auto* storage = new TFileStorage(&owner);
            storage->AddFile("f.bin", "data");
            storage->AutoExtract.Enabled = c.enabled;
            storage->AutoExtract.RemoveOnTerminate = true;
            ASSERT_TRUE(storage->ExtractFile("f.bin", one + "/f.bin"));
            ASSERT_TRUE(storage->ExtractFile("f.bin", two + "/f.bin"));
            if (c.strayFile)
                WriteFile(one + "/stray", "s");
            recorded = storage->ExtractedFiles;
        }
        EXPECT_EQ(recorded, QStringList({one + "/f.bin", two + "/f.bin"}));
        EXPECT_EQ(QFile::exists(one + "/f.bin"), c.filesRemain);
        EXPECT_EQ(QFile::exists(two + "/f.bin"), c.filesRemain);
        EXPECT_EQ(QDir(one).exists(), c.firstFolderRemains);
        EXPECT_TRUE(QDir(two).exists()) << "folders of later entries stay";
    }

    // Without RemoveOnTerminate nothing is recorded.
    QObject owner;
    TFileStorage storage(&owner);
    storage.AddFile("f.bin", "data");
    ASSERT_TRUE(storage.ExtractFile("f.bin", one + "/g.bin"));
    EXPECT_TRUE(storage.ExtractedFiles.isEmpty());
}

TEST(FileStorageReaderDeathTest, SizesAreBoundByWhatBlocksAndMemoryCanHold) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer cannot run under an address-space cap";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const QByteArray first = PackedRecord("first.bin", 3, QByteArray::fromHex("05000000414243"));
    // The densest block there is: escape 01, one run of 65,533 zeros, 9 bytes.
    const QByteArray dense = QByteArray::fromHex("07000100010000fcff").repeated(3);
    const int32_t most = 3 * 65533;
    const QByteArray filler(100000, '\0');
    struct Case {
        const char* what;
        QByteArray record;
        bool ok;
    };
    const Case cases[] = {
        {"densest blocks at their full size", PackedRecord("z", most, dense), true},
        {"one byte more than they can hold", PackedRecord("z", most + 1, dense), false},
        {"forged size near 2 GiB", PackedRecord("z", 0x7ffffff0, filler), false},
        {"a size the blocks could hold but memory cannot", PackedRecord("z", 600 << 20, filler),
         false},
    };
    const auto run = [&] {
        bool ok = CapAddressSpace(256u << 20);
        for (const Case& c : cases) {
            TFileStorage storage;
            const auto result = storage.ReadStoredData("SFP1" + Le32(2) + first + c.record);
            const size_t kept = c.ok ? 2 : 1;
            if ((result == TStoredDataResult::Ok) != c.ok || storage.Files.size() != kept ||
                storage.Count() != int32_t(kept) || storage.Files[0]->Data != "ABC") {
                std::fprintf(stderr, "wrong answer: %s\n", c.what);
                ok = false;
            }
        }
        std::_Exit(ok ? 0 : 1);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
}
