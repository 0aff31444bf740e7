#pragma once

#include "sitestore/PgResult.h"
#include "sitestore/Store.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

struct pg_conn;

namespace sitestore {

// The back end for several site servers on one PostgreSQL database. Posts
// from one address are counted under a lock on that address, so servers
// behind one load balancer share the rate limit.
class PostgresStore : public Store {
public:
    static std::unique_ptr<PostgresStore> Open(const std::string& uri, std::string& error);
    ~PostgresStore() override;

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
    using Params = std::vector<std::optional<std::string>>;
    explicit PostgresStore(pg_conn* conn) : conn_(conn) {}
    // A connection that broke (a restarted database) is opened again first.
    bool Connected(std::string& error);
    PgResult Run(const std::string& sql, const Params& params = {});
    bool Fail(const char* what, const PgResult& result, std::string& error);
    void Rollback();

    pg_conn* conn_;
};

} // namespace sitestore
