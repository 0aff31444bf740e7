#include "FileSizeLimit.h"
#include "TempHome.h"
#include "base/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void WriteFile(const QString& path, const QByteArray& bytes, mode_t mode = 0644) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
    file.close();
    ::chmod(QFile::encodeName(path).constData(), mode);
}

mode_t ModeOf(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

bool Exists(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

void Link(const QString& target, const QString& link) {
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()),
              0);
}

TEST(FileSizeOf, Sizes) {
    TempHome home;
    const QString dir = home.path();
    WriteFile(dir + "/empty", "");
    WriteFile(dir + "/five", "12345");
    QDir(dir).mkdir("folder");
    // A sparse file past the signed 32-bit range.
    {
        QFile big(dir + "/big");
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(qint64(3) << 30));
    }
    const QString saved = QDir::currentPath();
    QDir::setCurrent(dir);
    struct Case {
        QString path;
        int32_t size;
    } const cases[] = {
        {dir + "/missing", -1},  {dir + "/empty", 0},  {dir + "/five", 5}, {"five", 5},
        {"./folder/../five", 5}, {dir + "/folder", 0}, {dir + "/big", -1}, {"", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileSizeOf(c.path), c.size) << c.path.toStdString();
    QDir::setCurrent(saved);
}

// The speech cache as the program leaves it, with links pointing out of it.
class CacheTree : public testing::Test {
protected:
    void SetUp() override {
        cache = home.path() + "/cache";
        outside = home.path() + "/outside";
        QDir().mkpath(cache + "/sub");
        QDir().mkpath(outside + "/folder");
        WriteFile(cache + "/a.mp3", "a");
        WriteFile(cache + "/b.MP3", "b", 0444);
        WriteFile(cache + "/c.txt", "c", 0400);
        WriteFile(cache + "/noext", "n", 0400);
        WriteFile(cache + "/sub/d.mp3", "d");
        WriteFile(outside + "/target.mp3", "t", 0400);
        WriteFile(outside + "/target.txt", "t", 0400);
        WriteFile(outside + "/folder/e.mp3", "e", 0400);
        Link(outside + "/target.mp3", cache + "/link.mp3");
        Link(outside + "/target.txt", cache + "/link.txt");
        Link(outside + "/folder", cache + "/linkdir");
        Link(outside + "/folder", cache + "/sub/linkdir.mp3");
        ::chmod(QFile::encodeName(cache + "/sub").constData(), 0500);
        ::chmod(QFile::encodeName(outside + "/folder").constData(), 0550);
        folderMode = ModeOf(outside + "/folder");
    }
    void TearDown() override {
        // Let the temporary folder be removed even after a failure.
        ::chmod(QFile::encodeName(cache + "/sub").constData(), 0755);
        ::chmod(QFile::encodeName(outside + "/folder").constData(), 0755);
    }

    TempHome home;
    QString cache;
    QString outside;
    mode_t folderMode = 0;
};

TEST_F(CacheTree, RemovesMatchingFilesAndNeverFollowsLinks) {
    // The doubled separator comes from the caller forming "<data>/quilltts/".
    EXPECT_TRUE(DeleteFilesWithExtension(cache + "//", "mp3"));

    for (const char* gone : {"a.mp3", "b.MP3", "sub/d.mp3", "link.mp3", "sub/linkdir.mp3"})
        EXPECT_FALSE(Exists(cache + "/" + gone)) << gone;
    for (const char* kept : {"c.txt", "noext", "sub", "link.txt", "linkdir"})
        EXPECT_TRUE(Exists(cache + "/" + kept)) << kept;

    // Visited files become owner read/write, the subfolder owner read/write/search.
    EXPECT_EQ(ModeOf(cache + "/c.txt") & 0600, 0600u);
    EXPECT_EQ(ModeOf(cache + "/noext") & 0600, 0600u);
    EXPECT_EQ(ModeOf(cache + "/sub") & 0700, 0700u);

    // Nothing outside the folder was deleted or had its permissions changed.
    EXPECT_TRUE(Exists(outside + "/target.mp3"));
    EXPECT_TRUE(Exists(outside + "/folder/e.mp3"));
    EXPECT_EQ(ModeOf(outside + "/target.mp3"), 0400u);
    EXPECT_EQ(ModeOf(outside + "/target.txt"), 0400u);
    EXPECT_EQ(ModeOf(outside + "/folder/e.mp3"), 0400u);
    EXPECT_EQ(ModeOf(outside + "/folder"), folderMode);
}

TEST_F(CacheTree, ExtensionForms) {
    struct Case {
        const char* extension;
        std::vector<const char*> gone;
        std::vector<const char*> kept;
    } const cases[] = {
        {".MP3", {"a.mp3", "b.MP3", "sub/d.mp3"}, {"c.txt", "noext"}},
        {"txt", {"c.txt", "link.txt"}, {"a.mp3", "noext"}},
        {".*", {"a.mp3", "b.MP3", "c.txt", "noext", "sub/d.mp3", "link.txt", "linkdir"}, {"sub"}},
        // Contains a dot already, so it stays as given and matches nothing here.
        {"x.mp3", {}, {"a.mp3", "c.txt"}},
    };
    for (const auto& c : cases) {
        TearDown();
        QDir(cache).removeRecursively();
        QDir(outside).removeRecursively();
        SetUp();
        EXPECT_TRUE(DeleteFilesWithExtension(cache, c.extension)) << c.extension;
        for (const char* name : c.gone)
            EXPECT_FALSE(Exists(cache + "/" + name)) << c.extension << " " << name;
        for (const char* name : c.kept)
            EXPECT_TRUE(Exists(cache + "/" + name)) << c.extension << " " << name;
        EXPECT_TRUE(Exists(outside + "/folder/e.mp3"));
        EXPECT_TRUE(Exists(outside + "/target.txt"));
    }
}

TEST_F(CacheTree, FolderThatIsALinkIsNotEntered) {
    const QString viaLink = home.path() + "/cachelink";
    Link(outside + "/folder", viaLink);
    EXPECT_FALSE(DeleteFilesWithExtension(viaLink, "mp3"));
    EXPECT_FALSE(DeleteFilesWithExtension(viaLink + "/", "mp3"));
    EXPECT_TRUE(Exists(outside + "/folder/e.mp3"));
    EXPECT_EQ(ModeOf(outside + "/folder/e.mp3"), 0400u);
}

TEST(DeleteFilesWithExtension, MissingFolderAndPlainFile) {
    TempHome home;
    EXPECT_TRUE(DeleteFilesWithExtension(home.path() + "/nothing/here", "mp3"));
    WriteFile(home.path() + "/file.mp3", "x");
    EXPECT_FALSE(DeleteFilesWithExtension(home.path() + "/file.mp3", "mp3"));
    EXPECT_TRUE(Exists(home.path() + "/file.mp3"));
}

TEST(SaveFileAtomically, ShortWriteKeepsThePreviousFile) {
    TempHome home;
    const QString path = home.path() + "/kept";
    ASSERT_TRUE(SaveFileAtomically(path, "previous"));
    // Below and above Qt's write buffer: the short write shows up in different places.
    for (int size : {5000, 50000}) {
        bool written = true;
        {
            FileSizeLimit limit(100);
            ASSERT_TRUE(limit.Active());
            written = SaveFileAtomically(path, QByteArray(size, 'x'));
        }
        EXPECT_FALSE(written) << size;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), "previous") << size;
    }
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"kept"});
    ASSERT_TRUE(SaveFileAtomically(path, QByteArray(50000, 'y')));
    EXPECT_EQ(QFileInfo(path).size(), 50000);
}

} // namespace
