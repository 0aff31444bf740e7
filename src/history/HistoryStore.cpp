#include "history/HistoryStore.h"

#include "base/Paths.h"
#include "history/HistoryAside.h"
#include "history/HistoryGrams.h"
#include "history/HistorySchema.h"
#include "history/HistorySearch.h"

#include <QDateTime>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

namespace {

// Moving a file aside waits only for processes that are opening the history
// right now; one that keeps it open keeps it where it is.
constexpr int kLockWaitMs = 5000;
constexpr int kAsideWaitMs = 200;

bool IsDamage(int code) {
    return code == SQLITE_NOTADB || code == SQLITE_CORRUPT;
}

struct Attempt {
    SqliteDatabase db;
    HistoryInspection inspection;
};

// Translations are private: a new file is the user's alone, and SQLite gives
// its journal files the mode of the file they belong to.
void MakePrivateFile(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
}

Attempt OpenAndInspect(const QString& path, bool thorough) {
    Attempt a;
    MakePrivateFile(path);
    a.inspection = InspectHistoryFile(path, thorough);
    if (a.inspection.kind != HistoryFileKind::Usable)
        return a;
    const int rc = a.db.Open(path);
    if (rc != SQLITE_OK) {
        a.inspection = {HistoryFileKind::Failed, QString::fromUtf8(sqlite3_errstr(rc))};
        return a;
    }
    sqlite3_busy_timeout(a.db.Handle(), kHistoryBusyTimeoutMs);
    RegisterHistoryFunctions(a.db.Handle());
    // A crash or a power cut may lose the latest entries but never the file;
    // that is the right trade for a history. Deleted texts are overwritten.
    a.db.Exec("PRAGMA synchronous = NORMAL; PRAGMA secure_delete = ON");
    a.inspection = InspectAndMigrate(a.db, thorough);
    return a;
}

QString ReasonWord(HistoryFileKind kind) {
    switch (kind) {
    case HistoryFileKind::Foreign:
        return QStringLiteral("foreign");
    case HistoryFileKind::Newer:
        return QStringLiteral("newer");
    default:
        return QStringLiteral("damaged");
    }
}

QString Unusable(HistoryFileKind kind) {
    switch (kind) {
    case HistoryFileKind::Foreign:
        return QStringLiteral("不是本程序的历史记录");
    case HistoryFileKind::Newer:
        return QStringLiteral("来自更新版本的本程序");
    default:
        return QStringLiteral("已损坏");
    }
}

HistoryOpenResult Refusal(const QString& message) {
    HistoryOpenResult r;
    r.error = message;
    return r;
}

} // namespace

QString HistoryStore::DefaultPath() {
    const QString folder = LocalAppDataPath();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/history.sqlite3");
}

HistoryStore::HistoryStore(QString path, std::unique_ptr<HistoryLock> lock, SqliteDatabase db)
    : path_(std::move(path)), lock_(std::move(lock)), db_(std::move(db)) {
    // Replaces SQLite's own checkpoint after a commit (see kCheckpointPages).
    sqlite3_wal_hook(
        db_.Handle(),
        [](void* self, sqlite3* db, const char* name, int pages) {
            static_cast<HistoryStore*>(self)->walPages_ = pages;
            if (pages >= 4 * kCheckpointPages)
                sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
            return SQLITE_OK;
        },
        this);
}

void HistoryStore::Checkpoint() {
    sqlite3_wal_checkpoint_v2(db_.Handle(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    walPages_ = 0;
}

HistoryStore::~HistoryStore() {
    db_.Close(); // before the lock goes
}

HistoryOpenResult HistoryStore::Open(const QString& path, bool thorough) {
    if (path.isEmpty())
        return Refusal(QStringLiteral("无法打开翻译历史：没有可用的数据文件夹。"));
    auto lock = std::make_unique<HistoryLock>(path + QStringLiteral(".lock"));
    if (!lock->IsOpen())
        return Refusal(QStringLiteral("无法打开翻译历史：%1")
                           .arg(QString::fromLocal8Bit(std::strerror(errno))));
    if (!lock->Shared(kLockWaitMs)) {
        HistoryOpenResult r =
            Refusal(QStringLiteral("无法打开翻译历史：另一个程序正在整理它，请稍后再试。"));
        r.busy = true;
        return r;
    }

    HistoryOpenResult result;
    Attempt a = OpenAndInspect(path, thorough);
    if (a.inspection.kind != HistoryFileKind::Usable &&
        a.inspection.kind != HistoryFileKind::Failed) {
        a.db.Close();
        if (!lock->Exclusive(kAsideWaitMs))
            return Refusal(QStringLiteral("翻译历史文件 %1 %2，但另一个程序正在使用它，暂不处理。")
                               .arg(path, Unusable(a.inspection.kind)));
        // Another process may have dealt with it meanwhile.
        a = OpenAndInspect(path, thorough);
        if (a.inspection.kind != HistoryFileKind::Usable &&
            a.inspection.kind != HistoryFileKind::Failed) {
            a.db.Close();
            QString why;
            result.movedTo = MoveHistoryAside(path, ReasonWord(a.inspection.kind),
                                              QDateTime::currentDateTime(), why);
            if (result.movedTo.isEmpty())
                return Refusal(QStringLiteral("翻译历史文件 %1 %2，且无法移开：%3")
                                   .arg(path, Unusable(a.inspection.kind), why));
            result.notice = QStringLiteral("翻译历史文件%1，已移到 %2，并新建了历史记录。")
                                .arg(Unusable(a.inspection.kind), result.movedTo);
            a = OpenAndInspect(path, false);
        }
        lock->Shared(kLockWaitMs);
    }
    if (a.inspection.kind != HistoryFileKind::Usable) {
        result.error = QStringLiteral("无法打开翻译历史 %1：%2").arg(path, a.inspection.message);
        result.busy = a.inspection.busy;
        return result;
    }
    result.store.reset(new HistoryStore(path, std::move(lock), std::move(a.db)));
    return result;
}

HistoryStatus HistoryStore::Failed(const QString& what, int code) const {
    if (IsDamage(code))
        sawDamage_ = true;
    return {QStringLiteral("翻译历史%1失败：%2").arg(what, db_.Message()), IsBusyCode(code)};
}

HistoryStatus HistoryStore::Write(const QString& what, const std::function<int()>& work) {
    // IMMEDIATE takes the write lock first, waiting for other writers; a
    // deferred transaction could fail on a snapshot another process outdated.
    int rc = db_.Exec("BEGIN IMMEDIATE");
    if (rc == SQLITE_OK)
        rc = work();
    if (rc == SQLITE_OK)
        rc = db_.Exec("COMMIT");
    if (rc == SQLITE_OK)
        return {};
    const HistoryStatus status = Failed(what, rc);
    db_.Exec("ROLLBACK");
    return status;
}

HistoryStatus HistoryStore::Record(const HistoryEntry& entry) {
    if (entry.source.trimmed().isEmpty() || entry.target.trimmed().isEmpty())
        return {QStringLiteral("没有可记录的原文或译文。")};
    return Record(QList<HistoryEntry>{entry});
}

HistoryStatus HistoryStore::Record(const QList<HistoryEntry>& entries) {
    int empty = 0;
    const HistoryStatus status = Write(QStringLiteral("记录"), [&] {
        SqliteStatement s = db_.Prepare(
            "INSERT INTO entries(seq, source, target, source_code, target_code, engine, time) "
            "VALUES((SELECT ifnull(max(seq), 0) + 1 FROM entries), ?1, ?2, ?3, ?4, ?5, ?6) "
            "ON CONFLICT(source, source_code, target_code) DO UPDATE SET seq = excluded.seq, "
            "target = excluded.target, engine = excluded.engine, time = excluded.time");
        const int64_t now = QDateTime::currentMSecsSinceEpoch();
        for (const HistoryEntry& e : entries) {
            if (e.source.trimmed().isEmpty() || e.target.trimmed().isEmpty()) {
                ++empty;
                continue;
            }
            s.Reset();
            s.Bind(1, e.source);
            s.Bind(2, e.target);
            s.Bind(3, e.sourceCode);
            s.Bind(4, e.targetCode);
            s.Bind(5, e.engine);
            s.Bind(6, e.timeMs > 0 ? e.timeMs : now);
            if (!s.Run())
                return s.Code();
        }
        return SQLITE_OK;
    });
    if (status.ok() && empty > 0)
        return {QStringLiteral("%1 条翻译没有原文或译文，未记录。").arg(empty)};
    return status;
}

HistorySearchPlan HistoryStore::Plan(const HistoryQuery& query, bool count) const {
    int64_t starred = 0;
    if (query.starredOnly && !HistorySearchWords(query.text).isEmpty())
        starred = db_.QueryInt("SELECT count(*) FROM entries WHERE starred = 1");
    return PlanHistorySearch(query, count, starred);
}

SqliteStatement HistoryStore::Prepare(const HistorySearchPlan& plan,
                                      const HistoryQuery& query) const {
    SqliteStatement s = db_.Prepare(plan.sql.constData());
    if (!plan.trigramMatch.isEmpty())
        s.Bind(1, plan.trigramMatch);
    if (!plan.gramsMatch.isEmpty())
        s.Bind(2, plan.gramsMatch);
    if (plan.sql.contains("?3"))
        s.Bind(3, query.olderThan);
    if (plan.sql.contains("?4"))
        s.Bind(4, int64_t(query.limit));
    if (!plan.checkWords.isEmpty())
        s.Bind(5, plan.checkWords);
    return s;
}

HistoryPage HistoryStore::Search(const HistoryQuery& query) const {
    HistoryPage page;
    const HistorySearchPlan plan = Plan(query, false);
    if (!plan.error.isEmpty()) {
        page.error = plan.error;
        return page;
    }
    SqliteStatement s = Prepare(plan, query);
    while (s.Step()) {
        HistoryEntry e;
        e.id = s.Int(0);
        e.position = s.Int(1);
        e.source = s.Text(2);
        e.target = s.Text(3);
        e.sourceCode = s.Text(4);
        e.targetCode = s.Text(5);
        e.engine = s.Text(6);
        e.timeMs = s.Int(7);
        e.starred = s.Int(8) != 0;
        page.entries << e;
    }
    if (!s.Done()) {
        page.entries.clear();
        page.error = Failed(QStringLiteral("搜索"), s.Code()).error;
    }
    return page;
}

HistoryCount HistoryStore::Count(const HistoryQuery& query) const {
    HistoryCount result;
    const HistorySearchPlan plan = Plan(query, true);
    if (!plan.error.isEmpty()) {
        result.error = plan.error;
        return result;
    }
    SqliteStatement s = Prepare(plan, query);
    if (s.Step())
        result.count = s.Int(0);
    if (!s.Run())
        result.error = Failed(QStringLiteral("计数"), s.Code()).error;
    return result;
}

HistoryStatus HistoryStore::SetStarred(int64_t id, bool starred) {
    bool found = false;
    const HistoryStatus status = Write(QStringLiteral("修改"), [&] {
        SqliteStatement s = db_.Prepare("UPDATE entries SET starred = ?1 WHERE id = ?2");
        s.Bind(1, int64_t(starred ? 1 : 0));
        s.Bind(2, id);
        if (!s.Run())
            return s.Code();
        found = db_.Changes() > 0;
        return SQLITE_OK;
    });
    if (status.ok() && !found)
        return {QStringLiteral("这条翻译历史已不存在。")};
    return status;
}

HistoryStatus HistoryStore::Remove(int64_t id) {
    return Write(QStringLiteral("删除"), [&] {
        SqliteStatement s = db_.Prepare("DELETE FROM entries WHERE id = ?1");
        s.Bind(1, id);
        return s.Run() ? SQLITE_OK : s.Code();
    });
}

HistoryStatus HistoryStore::Clear() {
    const HistoryStatus status = Write(QStringLiteral("清空"), [&] {
        // Emptying the indexes at once is far faster than the triggers'
        // entry-by-entry removal, which the "clearing" row turns off.
        return db_.Exec("INSERT INTO state(key, value) VALUES('clearing', 1);"
                        "INSERT INTO entries_fts(entries_fts) VALUES('delete-all');"
                        "INSERT INTO entries_grams(entries_grams) VALUES('delete-all');"
                        "DELETE FROM entries;"
                        "DELETE FROM state WHERE key = 'clearing'");
    });
    // The old pages still sit in the write-ahead log until it is copied back
    // and emptied; a reader of another process may delay that.
    if (status.ok())
        db_.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
    return status;
}
