#include "sitestore/SqliteStore.h"

#include "sitestore/Migrations.h"
#include "sitestore/SearchPattern.h"
#include "sitestore/SqliteStatement.h"

#include <chrono>
#include <sqlite3.h>

namespace sitestore {

namespace {

const char* const kFeedbackColumns = "id, received_ms, address, contact, text, installation, "
                                     "client_time, product, answered_ms";

Feedback ReadFeedback(const SqliteStatement& s) {
    Feedback f;
    f.id = s.Int(0);
    f.receivedMs = s.Int(1);
    f.address = s.Text(2);
    f.contact = s.Text(3);
    f.text = s.Text(4);
    f.installation = s.Text(5);
    f.clientTime = s.Text(6);
    f.product = s.Text(7);
    if (!s.IsNull(8))
        f.answeredMs = s.Int(8);
    return f;
}

// Rows of this address received after since.
bool CountSince(SqliteStatement& count, const std::string& address, std::int64_t since,
                std::int64_t& n) {
    count.Reset();
    count.Bind(1, address);
    count.Bind(2, since);
    if (count.Step() != SQLITE_ROW)
        return false;
    n = count.Int(0);
    return true;
}

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace

std::unique_ptr<SqliteStore> SqliteStore::Open(const std::string& path, std::string& error) {
    sqlite3* db = nullptr;
    const int rc =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        error = "cannot open " + path + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<SqliteStore> store(new SqliteStore(db));
    // Another process (the maker's commands, a second worker) may hold the
    // write lock for a moment: wait rather than fail.
    sqlite3_busy_timeout(db, 10000);
    // FULL: in WAL mode NORMAL could lose the last commits on a power cut,
    // and a stored message must never be lost once it was confirmed.
    if (!store->Exec("PRAGMA journal_mode=WAL", error) ||
        !store->Exec("PRAGMA synchronous=FULL", error)) {
        error = "cannot open " + path + ": " + error;
        return nullptr;
    }
    return store;
}

SqliteStore::~SqliteStore() {
    sqlite3_close(db_);
}

bool SqliteStore::Exec(const char* sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    error = message ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    return false;
}

bool SqliteStore::Fail(const char* what, std::string& error) {
    error = std::string(what) + ": " + sqlite3_errmsg(db_);
    return false;
}

bool SqliteStore::Abort(const char* what, std::string& error) {
    Fail(what, error);
    if (!sqlite3_get_autocommit(db_))
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
}

int SqliteStore::SchemaVersion() {
    SqliteStatement s(db_, "SELECT coalesce(max(version), 0) FROM schema_migrations");
    if (!s.Prepared() || s.Step() != SQLITE_ROW)
        return 0;
    return int(s.Int(0));
}

bool SqliteStore::Migrate(std::string& error) {
    // IMMEDIATE takes the write lock first, so two processes starting at once
    // apply each step once.
    if (!Exec("BEGIN IMMEDIATE", error))
        return false;
    if (!Exec("CREATE TABLE IF NOT EXISTS schema_migrations (version INTEGER PRIMARY KEY, "
              "applied_ms INTEGER NOT NULL)",
              error))
        return Abort("schema", error);
    const int current = SchemaVersion();
    const int known = Migrations().back().version;
    if (current > known) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        error = "the database has schema " + std::to_string(current) +
                ", newer than this program's " + std::to_string(known) + "; update the program";
        return false;
    }
    for (const Migration& m : Migrations()) {
        if (m.version <= current)
            continue;
        if (!Exec(m.sqlite, error)) {
            const std::string reason = error;
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            error = "schema step " + std::to_string(m.version) + ": " + reason;
            return false;
        }
        SqliteStatement record(db_, "INSERT INTO schema_migrations (version, applied_ms) "
                                    "VALUES (?1, ?2)");
        record.Bind(1, std::int64_t(m.version));
        record.Bind(2, NowMs());
        if (!record.Prepared() || record.Step() != SQLITE_DONE)
            return Abort("schema", error);
    }
    if (!Exec("COMMIT", error))
        return Abort("schema", error);
    return true;
}

bool SqliteStore::AddRelease(Release& release, std::string& error) {
    SqliteStatement s(db_, "INSERT INTO releases (version, path, prompt, notes, published_ms) "
                           "VALUES (?1, ?2, ?3, ?4, ?5)");
    if (!s.Prepared())
        return Fail("release", error);
    s.Bind(1, release.version);
    s.Bind(2, release.path);
    s.Bind(3, release.prompt);
    s.Bind(4, release.notes);
    s.Bind(5, release.publishedMs);
    const int rc = s.Step();
    if (rc == SQLITE_CONSTRAINT) {
        error = "version " + release.version + " exists";
        return false;
    }
    if (rc != SQLITE_DONE)
        return Fail("release", error);
    release.id = sqlite3_last_insert_rowid(db_);
    return true;
}

bool SqliteStore::ListReleases(std::vector<Release>& out, std::string& error) {
    SqliteStatement s(db_, "SELECT id, version, path, prompt, notes, published_ms FROM releases "
                           "ORDER BY id");
    if (!s.Prepared())
        return Fail("releases", error);
    out.clear();
    int rc;
    while ((rc = s.Step()) == SQLITE_ROW)
        out.push_back({s.Int(0), s.Text(1), s.Text(2), s.Text(3), s.Text(4), s.Int(5)});
    return rc == SQLITE_DONE || Fail("releases", error);
}

bool SqliteStore::InsertFeedback(std::vector<Feedback>& rows, const RateLimit& limit,
                                 std::vector<InsertOutcome>& outcomes, std::string& error) {
    outcomes.clear();
    if (!Exec("BEGIN IMMEDIATE", error))
        return false;
    SqliteStatement count(db_,
                          "SELECT count(*) FROM feedback WHERE address = ?1 AND received_ms > ?2");
    SqliteStatement insert(
        db_, "INSERT INTO feedback (received_ms, address, contact, text, installation, "
             "client_time, product) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    if (!count.Prepared() || !insert.Prepared())
        return Abort("feedback", error);
    for (Feedback& row : rows) {
        std::int64_t lastMinute = 0;
        std::int64_t lastDay = 0;
        if (!CountSince(count, row.address, row.receivedMs - 60'000, lastMinute) ||
            !CountSince(count, row.address, row.receivedMs - 86'400'000, lastDay))
            return Abort("feedback", error);
        if ((limit.perMinute > 0 && lastMinute >= limit.perMinute) ||
            (limit.perDay > 0 && lastDay >= limit.perDay)) {
            outcomes.push_back(InsertOutcome::RateLimited);
            continue;
        }
        insert.Reset();
        insert.Bind(1, row.receivedMs);
        insert.Bind(2, row.address);
        insert.Bind(3, row.contact);
        insert.Bind(4, row.text);
        insert.Bind(5, row.installation);
        insert.Bind(6, row.clientTime);
        insert.Bind(7, row.product);
        if (insert.Step() != SQLITE_DONE)
            return Abort("feedback", error);
        row.id = sqlite3_last_insert_rowid(db_);
        outcomes.push_back(InsertOutcome::Stored);
    }
    if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        outcomes.clear();
        return Abort("feedback", error);
    }
    return true;
}

bool SqliteStore::ListFeedback(const FeedbackQuery& query, std::vector<Feedback>& out,
                               std::string& error) {
    std::string sql =
        std::string("SELECT ") + kFeedbackColumns +
        " FROM feedback WHERE received_ms >= ?1 AND (?2 = '' OR lower(text) LIKE "
        "lower(?3) ESCAPE '\\' OR lower(contact) LIKE lower(?3) ESCAPE '\\' OR "
        "address LIKE ?3 ESCAPE '\\' OR installation LIKE ?3 ESCAPE '\\') ORDER BY id ";
    sql += query.newestFirst ? "DESC" : "ASC";
    sql += " LIMIT ?4 OFFSET ?5";
    SqliteStatement s(db_, sql);
    if (!s.Prepared())
        return Fail("feedback", error);
    s.Bind(1, query.sinceMs);
    s.Bind(2, query.search);
    s.Bind(3, ContainsPattern(query.search));
    s.Bind(4, std::int64_t(query.limit > 0 ? query.limit : -1));
    s.Bind(5, std::int64_t(query.offset));
    out.clear();
    int rc;
    while ((rc = s.Step()) == SQLITE_ROW)
        out.push_back(ReadFeedback(s));
    return rc == SQLITE_DONE || Fail("feedback", error);
}

bool SqliteStore::GetFeedback(std::int64_t id, Feedback& out, bool& found, std::string& error) {
    SqliteStatement s(db_,
                      std::string("SELECT ") + kFeedbackColumns + " FROM feedback WHERE id = ?1");
    if (!s.Prepared())
        return Fail("feedback", error);
    s.Bind(1, id);
    const int rc = s.Step();
    found = rc == SQLITE_ROW;
    if (found)
        out = ReadFeedback(s);
    return found || rc == SQLITE_DONE || Fail("feedback", error);
}

bool SqliteStore::ChangeOne(const char* sql, std::int64_t id,
                            const std::optional<std::int64_t>& value, bool bindValue, bool& found,
                            std::string& error) {
    SqliteStatement s(db_, sql);
    if (!s.Prepared())
        return Fail("feedback", error);
    s.Bind(1, id);
    if (bindValue) {
        if (value)
            s.Bind(2, *value);
        else
            s.BindNull(2);
    }
    if (s.Step() != SQLITE_DONE)
        return Fail("feedback", error);
    found = sqlite3_changes(db_) > 0;
    return true;
}

bool SqliteStore::DeleteFeedback(std::int64_t id, bool& found, std::string& error) {
    return ChangeOne("DELETE FROM feedback WHERE id = ?1", id, std::nullopt, false, found, error);
}

bool SqliteStore::MarkAnswered(std::int64_t id, std::optional<std::int64_t> whenMs, bool& found,
                               std::string& error) {
    return ChangeOne("UPDATE feedback SET answered_ms = ?2 WHERE id = ?1", id, whenMs, true, found,
                     error);
}

} // namespace sitestore
