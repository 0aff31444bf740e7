#include "sitestore/PostgresStore.h"

#include "sitestore/Migrations.h"
#include "sitestore/SearchPattern.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <libpq-fe.h>
#include <set>

namespace sitestore {

namespace {

// Both keys of our advisory locks start with this, apart from other users
// of the database.
const char* const kLockSpace = "1364938817";
const char* const kMigrationLock = "SELECT pg_advisory_xact_lock(1364938817, 0)";

const char* const kFeedbackColumns = "id, received_ms, address, contact, text, installation, "
                                     "client_time, product, answered_ms";

Feedback ReadFeedback(const PgResult& r, int row) {
    Feedback f;
    f.id = r.Int(row, 0);
    f.receivedMs = r.Int(row, 1);
    f.address = r.Text(row, 2);
    f.contact = r.Text(row, 3);
    f.text = r.Text(row, 4);
    f.installation = r.Text(row, 5);
    f.clientTime = r.Text(row, 6);
    f.product = r.Text(row, 7);
    if (!r.IsNull(row, 8))
        f.answeredMs = r.Int(row, 8);
    return f;
}

// A lock key per address (FNV-1a); two addresses may share one, which only
// makes them wait for each other.
std::int32_t AddressKey(const std::string& address) {
    std::uint32_t h = 2166136261u;
    for (unsigned char c : address) {
        h ^= c;
        h *= 16777619u;
    }
    return std::int32_t(h);
}

void IgnoreNotice(void*, const char*) {}

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace

std::unique_ptr<PostgresStore> PostgresStore::Open(const std::string& uri, std::string& error) {
    pg_conn* conn = PQconnectdb(uri.c_str());
    if (!conn || PQstatus(conn) != CONNECTION_OK) {
        std::string message = conn ? PQerrorMessage(conn) : "out of memory";
        while (!message.empty() && message.back() == '\n')
            message.pop_back();
        error = "cannot connect to PostgreSQL: " + message;
        PQfinish(conn);
        return nullptr;
    }
    // "already exists, skipping" and the like would land on standard error.
    PQsetNoticeProcessor(conn, IgnoreNotice, nullptr);
    if (PQsetClientEncoding(conn, "UTF8") != 0) {
        error = "PostgreSQL: cannot use UTF-8";
        PQfinish(conn);
        return nullptr;
    }
    return std::unique_ptr<PostgresStore>(new PostgresStore(conn));
}

PostgresStore::~PostgresStore() {
    PQfinish(conn_);
}

bool PostgresStore::Connected(std::string& error) {
    if (PQstatus(conn_) == CONNECTION_OK)
        return true;
    PQreset(conn_);
    if (PQstatus(conn_) == CONNECTION_OK && PQsetClientEncoding(conn_, "UTF8") == 0)
        return true;
    error = std::string("PostgreSQL connection lost: ") + PQerrorMessage(conn_);
    while (!error.empty() && error.back() == '\n')
        error.pop_back();
    return false;
}

PgResult PostgresStore::Run(const std::string& sql, const Params& params) {
    if (params.empty())
        return PgResult(PQexec(conn_, sql.c_str()));
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& p : params)
        values.push_back(p ? p->c_str() : nullptr);
    return PgResult(PQexecParams(conn_, sql.c_str(), int(values.size()), nullptr, values.data(),
                                 nullptr, nullptr, 0));
}

bool PostgresStore::Fail(const char* what, const PgResult& result, std::string& error) {
    error = std::string(what) + ": " + result.Message();
    return false;
}

void PostgresStore::Rollback() {
    if (PQtransactionStatus(conn_) != PQTRANS_IDLE)
        PQclear(PQexec(conn_, "ROLLBACK"));
}

int PostgresStore::SchemaVersion() {
    const PgResult r = Run("SELECT coalesce(max(version), 0) FROM schema_migrations");
    return r.Ok() && r.Rows() == 1 ? int(r.Int(0, 0)) : 0;
}

bool PostgresStore::Migrate(std::string& error) {
    if (!Connected(error))
        return false;
    PgResult r = Run(std::string("BEGIN; ") + kMigrationLock +
                     "; CREATE TABLE IF NOT EXISTS schema_migrations (version INTEGER PRIMARY "
                     "KEY, applied_ms BIGINT NOT NULL)");
    if (!r.Ok()) {
        Rollback();
        return Fail("schema", r, error);
    }
    const int current = SchemaVersion();
    const int known = Migrations().back().version;
    if (current > known) {
        Rollback();
        error = "the database has schema " + std::to_string(current) +
                ", newer than this program's " + std::to_string(known) + "; update the program";
        return false;
    }
    for (const Migration& m : Migrations()) {
        if (m.version <= current)
            continue;
        r = Run(m.postgresql);
        if (r.Ok())
            r = Run("INSERT INTO schema_migrations (version, applied_ms) VALUES ($1, $2)",
                    {std::to_string(m.version), std::to_string(NowMs())});
        if (!r.Ok()) {
            Rollback();
            return Fail(("schema step " + std::to_string(m.version)).c_str(), r, error);
        }
    }
    r = Run("COMMIT");
    if (!r.Ok()) {
        Rollback();
        return Fail("schema", r, error);
    }
    return true;
}

bool PostgresStore::AddRelease(Release& release, std::string& error) {
    if (!Connected(error))
        return false;
    const PgResult r = Run("INSERT INTO releases (version, path, prompt, notes, published_ms) "
                           "VALUES ($1, $2, $3, $4, $5) RETURNING id",
                           {release.version, release.path, release.prompt, release.notes,
                            std::to_string(release.publishedMs)});
    if (r.SqlState() == "23505") {
        error = "version " + release.version + " exists";
        return false;
    }
    if (!r.Ok() || r.Rows() != 1)
        return Fail("release", r, error);
    release.id = r.Int(0, 0);
    return true;
}

bool PostgresStore::ListReleases(std::vector<Release>& out, std::string& error) {
    if (!Connected(error))
        return false;
    const PgResult r = Run("SELECT id, version, path, prompt, notes, published_ms FROM releases "
                           "ORDER BY id");
    if (!r.Ok())
        return Fail("releases", r, error);
    out.clear();
    for (int i = 0; i < r.Rows(); ++i)
        out.push_back(
            {r.Int(i, 0), r.Text(i, 1), r.Text(i, 2), r.Text(i, 3), r.Text(i, 4), r.Int(i, 5)});
    return true;
}

bool PostgresStore::InsertFeedback(std::vector<Feedback>& rows, const RateLimit& limit,
                                   std::vector<InsertOutcome>& outcomes, std::string& error) {
    outcomes.clear();
    if (!Connected(error))
        return false;
    PgResult r = Run("BEGIN");
    if (!r.Ok())
        return Fail("feedback", r, error);
    // In one order everywhere, so two servers' batches never wait on each other in a circle.
    std::set<std::int32_t> keys;
    for (const Feedback& row : rows)
        keys.insert(AddressKey(row.address));
    for (std::int32_t key : keys) {
        r = Run(std::string("SELECT pg_advisory_xact_lock(") + kLockSpace + ", $1::integer)",
                {std::to_string(key)});
        if (!r.Ok()) {
            Rollback();
            return Fail("feedback", r, error);
        }
    }
    for (Feedback& row : rows) {
        r = Run("SELECT count(*) FILTER (WHERE received_ms > $2), count(*) FROM feedback "
                "WHERE address = $1 AND received_ms > $3",
                {row.address, std::to_string(row.receivedMs - 60'000),
                 std::to_string(row.receivedMs - 86'400'000)});
        if (!r.Ok() || r.Rows() != 1) {
            Rollback();
            return Fail("feedback", r, error);
        }
        if ((limit.perMinute > 0 && r.Int(0, 0) >= limit.perMinute) ||
            (limit.perDay > 0 && r.Int(0, 1) >= limit.perDay)) {
            outcomes.push_back(InsertOutcome::RateLimited);
            continue;
        }
        r = Run("INSERT INTO feedback (received_ms, address, contact, text, installation, "
                "client_time, product) VALUES ($1, $2, $3, $4, $5, $6, $7) RETURNING id",
                {std::to_string(row.receivedMs), row.address, row.contact, row.text,
                 row.installation, row.clientTime, row.product});
        if (!r.Ok() || r.Rows() != 1) {
            Rollback();
            return Fail("feedback", r, error);
        }
        row.id = r.Int(0, 0);
        outcomes.push_back(InsertOutcome::Stored);
    }
    r = Run("COMMIT");
    if (!r.Ok()) {
        outcomes.clear();
        Rollback();
        return Fail("feedback", r, error);
    }
    return true;
}

bool PostgresStore::ListFeedback(const FeedbackQuery& query, std::vector<Feedback>& out,
                                 std::string& error) {
    if (!Connected(error))
        return false;
    std::string sql =
        std::string("SELECT ") + kFeedbackColumns +
        " FROM feedback WHERE received_ms >= $1 AND ($2 = '' OR lower(text) LIKE "
        "lower($3) ESCAPE '\\' OR lower(contact) LIKE lower($3) ESCAPE '\\' OR "
        "address LIKE $3 ESCAPE '\\' OR installation LIKE $3 ESCAPE '\\') ORDER BY id ";
    sql += query.newestFirst ? "DESC" : "ASC";
    sql += " LIMIT $4::bigint OFFSET $5::bigint";
    const PgResult r =
        Run(sql, {std::to_string(query.sinceMs), query.search, ContainsPattern(query.search),
                  query.limit > 0 ? std::optional(std::to_string(query.limit)) : std::nullopt,
                  std::to_string(query.offset)});
    if (!r.Ok())
        return Fail("feedback", r, error);
    out.clear();
    for (int i = 0; i < r.Rows(); ++i)
        out.push_back(ReadFeedback(r, i));
    return true;
}

bool PostgresStore::GetFeedback(std::int64_t id, Feedback& out, bool& found, std::string& error) {
    if (!Connected(error))
        return false;
    const PgResult r =
        Run(std::string("SELECT ") + kFeedbackColumns + " FROM feedback WHERE id = $1::bigint",
            {std::to_string(id)});
    if (!r.Ok())
        return Fail("feedback", r, error);
    found = r.Rows() == 1;
    if (found)
        out = ReadFeedback(r, 0);
    return true;
}

bool PostgresStore::DeleteFeedback(std::int64_t id, bool& found, std::string& error) {
    if (!Connected(error))
        return false;
    const PgResult r =
        Run("DELETE FROM feedback WHERE id = $1::bigint RETURNING id", {std::to_string(id)});
    if (!r.Ok())
        return Fail("feedback", r, error);
    found = r.Rows() > 0;
    return true;
}

bool PostgresStore::MarkAnswered(std::int64_t id, std::optional<std::int64_t> whenMs, bool& found,
                                 std::string& error) {
    if (!Connected(error))
        return false;
    const PgResult r =
        Run("UPDATE feedback SET answered_ms = $2::bigint WHERE id = $1::bigint RETURNING id",
            {std::to_string(id), whenMs ? std::optional(std::to_string(*whenMs)) : std::nullopt});
    if (!r.Ok())
        return Fail("feedback", r, error);
    found = r.Rows() > 0;
    return true;
}

} // namespace sitestore
