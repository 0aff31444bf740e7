#pragma once

#include "sitestore/Store.h"

#include <memory>
#include <string>

struct sqlite3;

namespace sitestore {

// The embedded back end: one file in WAL mode, every commit synced to disk
// before it returns, so a stored row survives a crash or a power cut.
class SqliteStore : public Store {
public:
    static std::unique_ptr<SqliteStore> Open(const std::string& path, std::string& error);
    ~SqliteStore() override;

    bool Migrate(std::string& error) override;
    int SchemaVersion() override;
    bool AddRelease(Release& release, std::string& error) override;
    bool ListReleases(std::vector<Release>& out, std::string& error) override;
    bool InsertFeedback(std::vector<Feedback>& rows, const RateLimit& limit,
                        std::vector<InsertOutcome>& outcomes, std::string& error) override;
    bool ListFeedback(const FeedbackQuery& query, std::vector<Feedback>& out,
                      std::string& error) override;
    bool GetFeedback(std::int64_t id, Feedback& out, bool& found, std::string& error) override;
    bool DeleteFeedback(std::int64_t id, bool& found, std::string& error) override;
    bool MarkAnswered(std::int64_t id, std::optional<std::int64_t> whenMs, bool& found,
                      std::string& error) override;

private:
    explicit SqliteStore(sqlite3* db) : db_(db) {}
    bool Exec(const char* sql, std::string& error);
    bool Fail(const char* what, std::string& error);
    // Rolls back an open transaction and returns false.
    bool Abort(const char* what, std::string& error);
    // Runs a one-row change; found tells whether a row matched.
    bool ChangeOne(const char* sql, std::int64_t id, const std::optional<std::int64_t>& value,
                   bool bindValue, bool& found, std::string& error);

    sqlite3* db_;
};

} // namespace sitestore
