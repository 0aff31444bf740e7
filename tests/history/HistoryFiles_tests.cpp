// A history file that cannot be used is moved aside whole, never overwritten
// or deleted, and never while another process has it open.
#include "HistoryTestUtil.h"
#include "history/HistoryAside.h"
#include "history/HistoryLock.h"
#include "history/HistorySchema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

void Sql(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

// A history of ours with one entry, closed (its log folded back into it).
void OurHistory(const QString& path) {
    HistoryOpenResult r = HistoryStore::Open(path);
    ASSERT_TRUE(r.store);
    ASSERT_TRUE(r.store->Record(Entry(u"旧记录"_s, u"old entry"_s)).ok());
}

// Overwrites the middle of the file, where the entries' pages are.
void BreakPages(const QString& path) {
    QByteArray bytes = ReadAll(path);
    ASSERT_GT(bytes.size(), 8192);
    for (qsizetype i = 4096; i < bytes.size() - 1024; ++i)
        bytes[i] = char(0x5a);
    WriteAll(path, bytes);
}

} // namespace

TEST(HistoryFiles, AnUnusableFileIsMovedAsideAndANewOneStarted) {
    const struct {
        const char* name;
        std::function<void(const QString&)> make;
        const char* reason; // in the new name
        bool thorough;
    } cases[] = {
        {"garbage", [](const QString& p) { WriteAll(p, QByteArray(5000, '\x7f') + "not sqlite"); },
         "damaged", false},
        {"garbage with a journal",
         [](const QString& p) {
             WriteAll(p, QByteArray("SQLite format 3") + QByteArray(5000, '\1'));
             WriteAll(p + u"-wal"_s, "old log");
         },
         "damaged", false},
        {"foreign", [](const QString& p) { Sql(p, "CREATE TABLE notes(body TEXT)"); }, "foreign",
         false},
        {"foreign with our version number",
         [](const QString& p) { Sql(p, "CREATE TABLE t(x); PRAGMA user_version = 1"); }, "foreign",
         false},
        {"a log beside an empty file",
         [](const QString& p) {
             WriteAll(p, {});
             WriteAll(p + u"-wal"_s, "someone's log");
         },
         "damaged", false},
        {"newer",
         [](const QString& p) {
             OurHistory(p);
             Sql(p, QByteArray("PRAGMA user_version = " +
                               QByteArray::number(LatestHistorySchema() + 1))
                        .constData());
         },
         "newer", false},
        {"ours with a table missing",
         [](const QString& p) {
             OurHistory(p);
             Sql(p, "DROP TABLE state");
         },
         "damaged", false},
        {"ours with broken pages, checked thoroughly",
         [](const QString& p) {
             OurHistory(p);
             HistoryOpenResult r = HistoryStore::Open(p);
             for (int i = 0; i < 300; ++i)
                 r.store->Record(Entry(u"填充 %1"_s.arg(i), QString(40, u'x')));
             r.store.reset();
             BreakPages(p);
         },
         "damaged", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.path() + u"/history.sqlite3"_s;
        c.make(path);
        const QByteArray before = ReadAll(path);
        const QByteArray wal = ReadAll(path + u"-wal"_s);

        HistoryOpenResult r = HistoryStore::Open(path, c.thorough);
        ASSERT_TRUE(r.store) << qPrintable(r.error);
        EXPECT_TRUE(r.movedTo.contains(u"/history-%1-"_s.arg(QLatin1String(c.reason))))
            << qPrintable(r.movedTo);
        EXPECT_TRUE(r.movedTo.endsWith(u".sqlite3"_s));
        EXPECT_TRUE(r.notice.contains(r.movedTo)) << qPrintable(r.notice);
        EXPECT_EQ(ReadAll(r.movedTo), before);
        EXPECT_EQ(ReadAll(r.movedTo + u"-wal"_s), wal);

        ASSERT_TRUE(r.store->Record(Entry(u"新的"_s, u"new"_s)).ok());
        HistoryQuery q;
        EXPECT_EQ(r.store->Count(q).count, 1);
        r.store.reset();
        // The new file is ours for good: opened again, nothing moves.
        HistoryOpenResult again = HistoryStore::Open(path, true);
        ASSERT_TRUE(again.store);
        EXPECT_TRUE(again.movedTo.isEmpty());
    }
}

TEST(HistoryFiles, AFileInUseElsewhereIsLeftWhereItIs) {
    QTemporaryDir dir;
    const QString path = dir.path() + u"/history.sqlite3"_s;
    WriteAll(path, QByteArray(5000, '\x7f'));
    HistoryLock other(path + u".lock"_s);
    ASSERT_TRUE(other.Shared(0));

    HistoryOpenResult r = HistoryStore::Open(path);
    EXPECT_FALSE(r.store);
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_TRUE(r.movedTo.isEmpty());
    EXPECT_EQ(ReadAll(path), QByteArray(5000, '\x7f'));
    EXPECT_EQ(QDir(dir.path()).entryList({u"history-*"_s}).size(), 0);
}

TEST(HistoryFiles, ANewHistoryIsReadableByItsUserAlone) {
    TempStore t;
    t.Record(Entry(u"私人"_s, u"private"_s));
    for (const QString& suffix : {u""_s, u"-wal"_s, u"-shm"_s, u".lock"_s}) {
        const QFileInfo file(t.path + suffix);
        ASSERT_TRUE(file.exists()) << qPrintable(suffix);
        EXPECT_EQ(file.permissions() &
                      (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
                  QFile::Permissions())
            << qPrintable(suffix);
    }
}

TEST(HistoryFiles, TheNameAsideIsNeverOneAlreadyTaken) {
    QTemporaryDir dir;
    const QString path = dir.path() + u"/history.sqlite3"_s;
    const QDateTime when(QDate(2024, 1, 2), QTime(3, 4, 5));
    const QString taken = dir.path() + u"/history-damaged-20240102-030405.sqlite3"_s;
    WriteAll(taken, "earlier");
    WriteAll(dir.path() + u"/history-damaged-20240102-030405-2.sqlite3-shm"_s, "earlier");
    WriteAll(path, "broken");
    QString error;
    const QString aside = MoveHistoryAside(path, u"damaged"_s, when, error);
    EXPECT_EQ(aside, dir.path() + u"/history-damaged-20240102-030405-3.sqlite3"_s);
    EXPECT_EQ(ReadAll(aside), "broken");
    EXPECT_EQ(ReadAll(taken), "earlier");
    EXPECT_FALSE(QFile::exists(path));
}
