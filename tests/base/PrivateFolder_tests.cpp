// The private runtime folder: where it is, and the fallback no other user can
// take ahead of us. Changing a file's owner needs root; those rows are skipped
// without it.
#include "TempHome.h"
#include "base/FileLock.h"
#include "base/PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t kOtherUser = 65534;

std::string Native(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info.st_mode & 07777;
}

class PrivateFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedRuntime_ = qgetenv("XDG_RUNTIME_DIR");
        ::chmod(Native(runtime_.path()).c_str(), 0700);
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toUtf8());
    }
    void TearDown() override {
        qputenv("XDG_RUNTIME_DIR", savedRuntime_);
        for (const std::string& folder : made_)
            QDir(QFile::decodeName(folder.c_str())).removeRecursively();
    }
    // The folder, noted for removal when it is one the fallback made.
    std::string Folder() {
        const std::string folder = PrivateRuntimeFolder();
        if (folder.rfind("/tmp/quillmate-", 0) == 0)
            made_.insert(folder);
        return folder;
    }
    std::string InRuntime() const { return Native(runtime_.path()) + "/quillmate"; }
    QString Record() const {
        char host[256] = {};
        ::gethostname(host, sizeof host - 1);
        return home_.dataDir() + "/runtime-folder-" + QString::fromLatin1(host);
    }

    TempHome home_;
    QTemporaryDir runtime_;
    QByteArray savedRuntime_;
    std::set<std::string> made_;
};

TEST_F(PrivateFolderTest, TheRuntimeFolderWhenItIsOurs) {
    EXPECT_EQ(Folder(), InRuntime());
    EXPECT_EQ(ModeOf(InRuntime()), 0700u);
    EXPECT_EQ(Folder(), InRuntime());
}

// Whatever is wrong with the runtime folder, the fallback is a fresh private
// folder in /tmp that every later start finds again.
TEST_F(PrivateFolderTest, TheFallbackCannotBeTakenFirst) {
    const bool root = ::geteuid() == 0;
    QTemporaryDir target;
    const struct Row {
        const char* name;
        bool needsRoot;
        std::function<void()> arrange;
    } rows[] = {
        {"no runtime folder", false, [] { qunsetenv("XDG_RUNTIME_DIR"); }},
        {"a relative runtime folder", false, [] { qputenv("XDG_RUNTIME_DIR", "run/user"); }},
        {"another user's folder in its place", true,
         [&] {
             ASSERT_EQ(::mkdir(InRuntime().c_str(), 0700), 0);
             ASSERT_EQ(::chown(InRuntime().c_str(), kOtherUser, gid_t(-1)), 0);
         }},
        {"a folder others may enter", false,
         [&] { ASSERT_EQ(::mkdir(InRuntime().c_str(), 0711), 0); }},
        {"a link to a folder of ours", false,
         [&] {
             ::chmod(Native(target.path()).c_str(), 0700);
             ASSERT_EQ(::symlink(Native(target.path()).c_str(), InRuntime().c_str()), 0);
         }},
        {"too long for a socket", false,
         [&] {
             const QString deep = runtime_.path() + '/' + QString(90, 'd');
             ASSERT_TRUE(QDir().mkpath(deep));
             ::chmod(Native(deep).c_str(), 0700);
             qputenv("XDG_RUNTIME_DIR", deep.toUtf8());
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.needsRoot && !root)
            continue;
        ::unlink(InRuntime().c_str());
        ::rmdir(InRuntime().c_str());
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toUtf8());
        row.arrange();
        const std::string folder = Folder();
        EXPECT_EQ(folder.rfind("/tmp/quillmate-", 0), 0u) << folder;
        EXPECT_TRUE(IsPrivateFolder(folder));
        EXPECT_EQ(Folder(), folder); // found again, not made anew
    }
    // One fallback for all of them: its name is kept.
    EXPECT_EQ(made_.size(), 1u);
}

TEST_F(PrivateFolderTest, ARecordThatNoLongerHoldsIsReplaced) {
    qunsetenv("XDG_RUNTIME_DIR");
    const bool root = ::geteuid() == 0;
    QTemporaryDir ownFolder;
    const struct Row {
        const char* name;
        bool needsRoot;
        std::function<void(const std::string& recorded)> arrange;
    } rows[] = {
        {"the folder was removed", false,
         [](const std::string& recorded) { ::rmdir(recorded.c_str()); }},
        {"another user made one of that name", true,
         [](const std::string& recorded) {
             ::rmdir(recorded.c_str());
             ASSERT_EQ(::mkdir(recorded.c_str(), 0700), 0);
             ASSERT_EQ(::chown(recorded.c_str(), kOtherUser, gid_t(-1)), 0);
         }},
        {"the record names a folder we never make", false,
         [&](const std::string&) {
             ::chmod(Native(ownFolder.path()).c_str(), 0700);
             QFile record(Record());
             ASSERT_TRUE(record.open(QIODevice::WriteOnly | QIODevice::Truncate));
             record.write(ownFolder.path().toUtf8() + "\n");
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.needsRoot && !root)
            continue;
        const std::string recorded = Folder();
        ASSERT_TRUE(IsPrivateFolder(recorded));
        row.arrange(recorded);
        const std::string fresh = Folder();
        EXPECT_NE(fresh, recorded);
        EXPECT_NE(fresh, Native(ownFolder.path()));
        EXPECT_TRUE(IsPrivateFolder(fresh));
        QFile record(Record());
        ASSERT_TRUE(record.open(QIODevice::ReadOnly));
        EXPECT_EQ(record.readAll(), QByteArray::fromStdString(fresh + "\n"));
    }
}

TEST(FileLock, OneHolderAtATime) {
    QTemporaryDir dir;
    const std::string path = Native(dir.path()) + "/lock";
    {
        FileLock first(path, 0);
        ASSERT_TRUE(first.Locked());
        EXPECT_EQ(ModeOf(path), 0600u);
        FileLock second(path, 50);
        EXPECT_FALSE(second.Locked());
    }
    FileLock again(path, 0);
    EXPECT_TRUE(again.Locked());
    // Never through a link.
    const std::string link = Native(dir.path()) + "/link";
    ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
    EXPECT_FALSE(FileLock(link, 0).Locked());
}

} // namespace
