// Recording off the caller's thread, the user's switch, the command line's
// direct path, and several processes writing at once.
#include "HistoryTestUtil.h"
#include "ServiceStandIn.h"
#include "history/HistoryJson.h"
#include "history/HistoryLock.h"
#include "history/HistoryRecorder.h"
#include "history/HistorySchema.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>
#include <sqlite3.h>
#include <thread>

using namespace Qt::StringLiterals;

TEST(HistoryRecorder, WritesInOrderWithoutHoldingTheCaller) {
    TempStore t;
    // Another connection holds the write lock: recording must still return.
    sqlite3* blocker = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(t.path).constData(), &blocker), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(blocker, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    {
        HistoryRecorder recorder(t.path, true);
        recorder.Record(Entry(u"一"_s, u"one"_s));
        recorder.Record(Entry(u"二"_s, u"two"_s));
        recorder.Record(Entry(u"一"_s, u"first"_s));
        EXPECT_FALSE(recorder.Flush(100));
        sqlite3_exec(blocker, "COMMIT", nullptr, nullptr, nullptr);
        EXPECT_TRUE(recorder.Flush(10000));
        recorder.Record(Entry(u"三"_s, u"three"_s)); // written by the destructor
    }
    sqlite3_close(blocker);
    EXPECT_EQ(t.Find({}), (QStringList{u"三"_s, u"一"_s, u"二"_s}));
    EXPECT_EQ(t.store->Search({}).entries.value(1).target, u"first"_s);
}

TEST(HistoryRecorder, TheSwitchOffWritesNothingNotEvenTheFile) {
    QTemporaryDir dir;
    const QString path = dir.path() + u"/history.sqlite3"_s;
    {
        HistoryRecorder recorder(path, false);
        recorder.Record(Entry(u"关"_s, u"off"_s));
        EXPECT_TRUE(recorder.Flush(5000));
        EXPECT_TRUE(RecordTranslationNow(path, Entry(u"关"_s, u"off"_s), false).ok());
        EXPECT_FALSE(QFile::exists(path));

        recorder.SetEnabled(true);
        recorder.Record(Entry(u"开"_s, u"on"_s));
        ASSERT_TRUE(recorder.Flush(5000));
        recorder.SetEnabled(false);
        recorder.Record(Entry(u"又关"_s, u"off again"_s));
    }
    HistoryOpenResult r = HistoryStore::Open(path);
    ASSERT_TRUE(r.store);
    const QList<HistoryEntry> all = r.store->Search({}).entries;
    ASSERT_EQ(all.size(), 1);
    EXPECT_EQ(all[0].source, u"开"_s);
}

TEST(HistoryRecorder, AMovedFileIsReportedOnTheCallersThread) {
    QTemporaryDir dir;
    const QString path = dir.path() + u"/history.sqlite3"_s;
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    }
    HistoryRecorder recorder(path, true);
    QStringList messages;
    const Qt::HANDLE caller = QThread::currentThreadId();
    recorder.OnMessage = [&](const QString& m) {
        EXPECT_EQ(QThread::currentThreadId(), caller);
        messages << m;
    };
    recorder.Record(Entry(u"甲"_s, u"a"_s));
    recorder.Record(Entry(u"乙"_s, u"b"_s));
    ASSERT_TRUE(recorder.Flush(10000));
    ASSERT_TRUE(WaitUntil([&] { return !messages.isEmpty(); }, 5000));
    EXPECT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.value(0).contains(u"history-damaged-"_s)) << qPrintable(messages.value(0));

    QString notice;
    EXPECT_TRUE(RecordTranslationNow(path, Entry(u"丙"_s, u"c"_s), true, &notice).ok());
    EXPECT_TRUE(notice.isEmpty());
    HistoryOpenResult r = HistoryStore::Open(path);
    ASSERT_TRUE(r.store);
    EXPECT_EQ(r.store->Count({}).count, 3);
}

TEST(HistoryRecorder, EntriesThatFailedAreWrittenWithTheNextOnes) {
    QTemporaryDir dir;
    const QString path = dir.path() + u"/history.sqlite3"_s;
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    }
    auto other = std::make_unique<HistoryLock>(path + u".lock"_s);
    ASSERT_TRUE(other->Shared(0)); // another process has it: it stays, nothing is written
    HistoryRecorder recorder(path, true);
    QStringList messages;
    recorder.OnMessage = [&](const QString& m) { messages << m; };
    recorder.Record(Entry(u"先"_s, u"first"_s));
    recorder.Record(Entry(u" "_s, u"no text"_s));
    ASSERT_TRUE(recorder.Flush(10000));
    ASSERT_TRUE(WaitUntil([&] { return messages.size() == 2; }, 5000));

    other.reset();
    recorder.Record(Entry(u"后"_s, u"second"_s));
    ASSERT_TRUE(recorder.Flush(10000));
    HistoryOpenResult r = HistoryStore::Open(path);
    ASSERT_TRUE(r.store);
    QStringList sources;
    for (const HistoryEntry& e : r.store->Search({}).entries)
        sources << e.source;
    EXPECT_EQ(sources, (QStringList{u"后"_s, u"先"_s}));
}

TEST(HistoryRecorder, ProcessesWritingAtOnceLoseNoRow) {
    QTemporaryDir dir;
    const QString path = dir.path() + u"/history.sqlite3"_s;
    constexpr int kProcesses = 3;
    constexpr int kEach = 60;
    std::vector<std::unique_ptr<QProcess>> writers;
    for (int p = 0; p < kProcesses; ++p) {
        auto w = std::make_unique<QProcess>();
        w->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        w->start(QStringLiteral(QUILL_HISTORY_WRITER),
                 {path, u"writer%1"_s.arg(p), QString::number(kEach)});
        writers.push_back(std::move(w));
    }
    {
        HistoryRecorder recorder(path, true);
        for (int i = 0; i < kEach; ++i)
            recorder.Record(Entry(u"窗口 %1"_s.arg(i), u"window %1"_s.arg(i), u"en"_s, u"zh-CN"_s));
    }
    for (auto& w : writers) {
        ASSERT_TRUE(w->waitForFinished(120000));
        EXPECT_EQ(w->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(w->exitCode(), 0);
    }
    HistoryOpenResult r = HistoryStore::Open(path);
    ASSERT_TRUE(r.store);
    // Every distinct text once, and "shared" once however often it came.
    EXPECT_EQ(r.store->Count({}).count, (kProcesses + 1) * kEach + 1);
    HistoryQuery shared;
    shared.text = u"shared"_s;
    EXPECT_EQ(r.store->Count(shared).count, 1);
}

namespace {

// Another process's connection holding the history's write lock.
struct WriteLockHolder {
    sqlite3* db = nullptr;
    explicit WriteLockHolder(const QString& path) {
        EXPECT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    void Release() {
        if (db)
            sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        db = nullptr;
    }
    ~WriteLockHolder() { Release(); }
};

} // namespace

// Turning a new file to WAL while another process holds its write lock fails
// at once inside SQLite, without its busy wait; a writer that starts just
// as another makes the file must wait rather than fail.
TEST(HistoryRecorder, ANewFileBeingMadeElsewhereIsWaitedFor) {
    QTemporaryDir dir;
    const QString path = dir.path() + u"/history.sqlite3"_s;
    WriteLockHolder other(path); // a new file, not yet in WAL mode
    std::thread release([&] {
        QThread::msleep(300);
        other.Release();
    });
    const HistoryStatus status = RecordTranslationNow(path, Entry(u"新"_s, u"new"_s), true);
    release.join();
    EXPECT_TRUE(status.ok()) << qPrintable(status.error);
    HistoryOpenResult r = HistoryStore::Open(path);
    ASSERT_TRUE(r.store);
    EXPECT_EQ(r.store->Count({}).count, 1);
}

// A lock held past SQLite's busy timeout: the command line's record, a
// recorder's queued entry and the entry a closing recorder still holds are
// all written once it is released, and nothing is reported meanwhile.
TEST(HistoryRecorder, ALockHeldPastTheBusyTimeoutLosesNoEntry) {
    TempStore t;
    t.store.reset();
    auto other = std::make_unique<WriteLockHolder>(t.path);
    HistoryStatus commandLine;
    std::thread command([&] {
        commandLine = RecordTranslationNow(t.path, Entry(u"命令行"_s, u"command line"_s), true);
    });
    QStringList messages;
    HistoryRecorder running(t.path, true);
    running.OnMessage = [&](const QString& m) { messages << m; };
    running.Record(Entry(u"窗口"_s, u"window"_s));
    std::thread release([&] {
        QThread::msleep(kHistoryBusyTimeoutMs + 2000);
        other.reset();
    });
    {
        HistoryRecorder closing(t.path, true);
        closing.Record(Entry(u"关闭"_s, u"closing"_s));
        // Done with once the first write failed busy; the destructor then
        // waits for the lock.
        EXPECT_TRUE(closing.Flush(kHistoryBusyTimeoutMs + 10000));
    }
    release.join();
    command.join();
    EXPECT_TRUE(commandLine.ok()) << qPrintable(commandLine.error);
    t.store = t.Open();
    EXPECT_TRUE(WaitUntil([&] { return t.store->Count({}).count == 3; }, 10000));
    EXPECT_EQ(t.Find({}).size(), 3);
    EXPECT_TRUE(messages.isEmpty()) << qPrintable(messages.join(u'\n'));
}

TEST(HistoryJson, ALineReadsBackAsTheEntry) {
    HistoryEntry e = Entry(u"引号\"和\n换行\t制表"_s + QChar(0) + u"😀"_s, u"quote \\ back"_s);
    e.engine.clear();
    e.timeMs = 1700000000123;
    e.starred = true;
    const QByteArray line = HistoryJsonLine(e);
    ASSERT_TRUE(line.endsWith('\n'));
    EXPECT_EQ(line.count('\n'), 1);
    const QJsonObject o = QJsonDocument::fromJson(line).object();
    EXPECT_EQ(o.value(u"source"_s).toString(), e.source);
    EXPECT_EQ(o.value(u"target"_s).toString(), e.target);
    EXPECT_EQ(o.value(u"from"_s).toString(), u"zh-CN"_s);
    EXPECT_EQ(o.value(u"to"_s).toString(), u"en"_s);
    EXPECT_EQ(o.value(u"engine"_s).toString(u"missing"_s), QString());
    EXPECT_EQ(o.value(u"time"_s).toString(), u"2023-11-14T22:13:20.123Z"_s);
    EXPECT_EQ(o.value(u"starred"_s), QJsonValue(true));
    EXPECT_EQ(o.size(), 7);
}
