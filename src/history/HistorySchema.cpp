#include "history/HistorySchema.h"

#include "history/SqliteDatabase.h"

#include <QFileInfo>
#include <QSet>
#include <chrono>
#include <sqlite3.h>
#include <thread>

namespace {

constexpr int kApplicationId = 0x516d4869;

// Step n brings a file at version n-1 to version n. Steps are never changed
// once released; a change of the schema is a new step.
const char* const kSteps[] = {
    // 1: the entries, a trigram index over both texts for words of three or
    // more characters, the short-word index for one and two, and the
    // triggers that keep both in step with the entries. The indexes key on
    // `seq`, which rises with every recording, so they list newest first
    // without sorting. `state` holds a row "clearing" while the history is
    // being cleared, so the triggers leave the indexes to the clearing.
    R"sql(
CREATE TABLE entries(
    id INTEGER PRIMARY KEY,
    seq INTEGER NOT NULL UNIQUE,
    source TEXT NOT NULL,
    target TEXT NOT NULL,
    source_code TEXT NOT NULL,
    target_code TEXT NOT NULL,
    engine TEXT NOT NULL DEFAULT '',
    time INTEGER NOT NULL,
    starred INTEGER NOT NULL DEFAULT 0,
    UNIQUE(source, source_code, target_code));
CREATE INDEX entries_starred ON entries(starred, seq);
CREATE TABLE state(key TEXT PRIMARY KEY, value) WITHOUT ROWID;
CREATE VIRTUAL TABLE entries_fts USING fts5(
    source, target, content='entries', content_rowid='seq', tokenize='trigram');
CREATE VIRTUAL TABLE entries_grams USING fts5(
    grams, content='', detail='none', columnsize=0, tokenize='ascii');
CREATE TRIGGER entries_added AFTER INSERT ON entries BEGIN
    INSERT INTO entries_fts(rowid, source, target) VALUES(new.seq, new.source, new.target);
    INSERT INTO entries_grams(rowid, grams)
        VALUES(new.seq, history_grams(new.source, new.target));
END;
CREATE TRIGGER entries_removed AFTER DELETE ON entries
WHEN NOT EXISTS(SELECT 1 FROM state WHERE key = 'clearing') BEGIN
    INSERT INTO entries_fts(entries_fts, rowid, source, target)
        VALUES('delete', old.seq, old.source, old.target);
    INSERT INTO entries_grams(entries_grams, rowid, grams)
        VALUES('delete', old.seq, history_grams(old.source, old.target));
END;
CREATE TRIGGER entries_changed AFTER UPDATE OF seq, source, target ON entries BEGIN
    INSERT INTO entries_fts(entries_fts, rowid, source, target)
        VALUES('delete', old.seq, old.source, old.target);
    INSERT INTO entries_grams(entries_grams, rowid, grams)
        VALUES('delete', old.seq, history_grams(old.source, old.target));
    INSERT INTO entries_fts(rowid, source, target) VALUES(new.seq, new.source, new.target);
    INSERT INTO entries_grams(rowid, grams)
        VALUES(new.seq, history_grams(new.source, new.target));
END;
)sql",
};

// What the latest schema must hold; a file of ours without one is damaged.
const char* const kRequired[] = {"entries",       "entries_fts",     "entries_grams",  "state",
                                 "entries_added", "entries_removed", "entries_changed"};

bool IsDamage(int code) {
    return code == SQLITE_NOTADB || code == SQLITE_CORRUPT;
}

HistoryInspection Failure(const SqliteDatabase& db, int code) {
    return {IsDamage(code) ? HistoryFileKind::Damaged : HistoryFileKind::Failed, db.Message(),
            IsBusyCode(code)};
}

// Turning a new file to WAL needs the write lock while this connection reads
// it. When another process holds that lock (making the same new file), SQLite
// answers busy at once rather than calling the busy handler, which would
// deadlock there; so the waiting is done here, as long as the busy timeout.
int SwitchToWal(const SqliteDatabase& db, int waitMs) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        SqliteStatement wal = db.Prepare("PRAGMA journal_mode = WAL");
        if (wal.Step() || wal.Done()) {
            wal.Run();
            return SQLITE_OK;
        }
        if (!IsBusyCode(wal.Code()) || Clock::now() >= deadline)
            return wal.Code();
        wal.Reset();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

struct Header {
    int code = SQLITE_OK;
    int64_t applicationId = 0;
    int64_t version = 0;
    QSet<QString> names; // tables, indexes and triggers
};

Header ReadHeader(const SqliteDatabase& db) {
    Header h;
    auto value = [&](const char* sql, int64_t& out) {
        SqliteStatement s = db.Prepare(sql);
        if (!s.Valid()) {
            h.code = s.Code();
        } else if (s.Step()) {
            out = s.Int(0);
            s.Run();
        } else if (!s.Done()) {
            h.code = s.Code();
        }
    };
    value("PRAGMA application_id", h.applicationId);
    if (h.code == SQLITE_OK)
        value("PRAGMA user_version", h.version);
    if (h.code != SQLITE_OK)
        return h;
    SqliteStatement s = db.Prepare("SELECT name FROM sqlite_schema");
    if (!s.Valid()) {
        h.code = s.Code();
        return h;
    }
    while (s.Step())
        h.names.insert(s.Text(0));
    if (!s.Done())
        h.code = s.Code();
    return h;
}

// The header as one snapshot: another process may commit between the reads.
Header ReadHeaderAtOnce(const SqliteDatabase& db) {
    const int rc = db.Exec("BEGIN");
    if (rc != SQLITE_OK) {
        Header h;
        h.code = rc;
        return h;
    }
    const Header h = ReadHeader(db);
    db.Exec("COMMIT");
    return h;
}

// One step in its own write transaction; the version is read again inside
// it, since another process may have taken the step meanwhile.
int TakeStep(SqliteDatabase& db, int step) {
    int rc = db.Exec("BEGIN IMMEDIATE");
    if (rc != SQLITE_OK)
        return rc;
    const Header h = ReadHeader(db);
    rc = h.code;
    if (rc == SQLITE_OK && h.version == step - 1) {
        rc = db.Exec(kSteps[step - 1]);
        if (rc == SQLITE_OK) {
            const QByteArray mark =
                "PRAGMA application_id = " + QByteArray::number(kApplicationId) +
                "; PRAGMA user_version = " + QByteArray::number(step);
            rc = db.Exec(mark.constData());
        }
    }
    if (rc == SQLITE_OK)
        rc = db.Exec("COMMIT");
    if (rc != SQLITE_OK)
        db.Exec("ROLLBACK");
    return rc;
}

// The check of an empty or our own file's header; Usable means go on.
HistoryInspection Classify(const Header& h) {
    const bool empty = h.applicationId == 0 && h.version == 0 && h.names.isEmpty();
    if (!empty && h.applicationId != kApplicationId)
        return {HistoryFileKind::Foreign, {}};
    if (h.version > LatestHistorySchema())
        return {HistoryFileKind::Newer, {}};
    if (!empty && h.version < 1)
        return {HistoryFileKind::Damaged, QStringLiteral("no schema")};
    return {HistoryFileKind::Usable, {}};
}

} // namespace

bool IsBusyCode(int code) {
    return (code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED;
}

int LatestHistorySchema() {
    return int(std::size(kSteps));
}

int HistoryApplicationId() {
    return kApplicationId;
}

HistoryInspection InspectHistoryFile(const QString& path, bool thorough) {
    const QFileInfo file(path);
    if (!file.exists())
        return {HistoryFileKind::Usable, {}};
    // A file in WAL mode always has its header written, so a log beside an
    // empty file belongs to something else; SQLite would delete it on opening.
    if (file.size() == 0 && QFileInfo(path + QStringLiteral("-wal")).size() > 0)
        return {HistoryFileKind::Damaged, QStringLiteral("a log beside an empty file")};
    SqliteDatabase db;
    const int rc = db.Open(path, true);
    if (rc != SQLITE_OK)
        return {HistoryFileKind::Failed, QString::fromUtf8(sqlite3_errstr(rc)), IsBusyCode(rc)};
    sqlite3_busy_timeout(db.Handle(), kHistoryBusyTimeoutMs);
    const Header h = ReadHeaderAtOnce(db);
    if (h.code != SQLITE_OK)
        return Failure(db, h.code);
    const HistoryInspection kind = Classify(h);
    if (kind.kind != HistoryFileKind::Usable)
        return kind;
    if (thorough) {
        SqliteStatement s = db.Prepare("PRAGMA quick_check(1)");
        const bool row = s.Step();
        const QString verdict = row ? s.Text(0) : QString();
        s.Run();
        if (!row && !IsDamage(s.Code()))
            return Failure(db, s.Code());
        if (verdict != QLatin1String("ok"))
            return {HistoryFileKind::Damaged, verdict.isEmpty() ? db.Message() : verdict};
    }
    return {HistoryFileKind::Usable, {}};
}

HistoryInspection InspectAndMigrate(SqliteDatabase& db, bool thorough) {
    const Header h = ReadHeaderAtOnce(db);
    if (h.code != SQLITE_OK)
        return Failure(db, h.code);
    if (const HistoryInspection kind = Classify(h); kind.kind != HistoryFileKind::Usable)
        return kind;

    // WAL lets readers and one writer work at once, across processes.
    if (const int rc = SwitchToWal(db, kHistoryBusyTimeoutMs); rc != SQLITE_OK)
        return Failure(db, rc);

    for (int step = int(h.version) + 1; step <= LatestHistorySchema(); ++step) {
        const int rc = TakeStep(db, step);
        if (rc != SQLITE_OK)
            return Failure(db, rc);
    }
    const Header now = ReadHeaderAtOnce(db);
    if (now.code != SQLITE_OK)
        return Failure(db, now.code);
    if (const HistoryInspection kind = Classify(now); kind.kind != HistoryFileKind::Usable)
        return kind;
    if (now.version != LatestHistorySchema())
        return {HistoryFileKind::Damaged, QStringLiteral("not migrated")};
    for (const char* name : kRequired)
        if (!now.names.contains(QLatin1String(name)))
            return {HistoryFileKind::Damaged, QStringLiteral("%1 is missing").arg(name)};
    if (thorough) {
        // The indexes' own structure, which the page check cannot see.
        for (const char* sql :
             {"INSERT INTO entries_grams(entries_grams) VALUES('integrity-check')",
              "INSERT INTO entries_fts(entries_fts) VALUES('integrity-check')"}) {
            const int rc = db.Exec(sql);
            if (rc != SQLITE_OK)
                return Failure(db, rc);
        }
    }
    return {HistoryFileKind::Usable, {}};
}
