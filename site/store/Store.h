#pragma once

#include "sitestore/Records.h"

#include <memory>
#include <string>
#include <vector>

namespace sitestore {

// The site's database: one connection, used by one thread at a time. Every
// method returns false with a reason when the database fails; nothing is
// then half-written (each call is one transaction).
class Store {
public:
    virtual ~Store() = default;

    // Brings the schema up to date (safe when several processes start at
    // once); refuses a database made by a newer program.
    virtual bool Migrate(std::string& error) = 0;
    virtual int SchemaVersion() = 0;

    // False with "exists" in error when the version is already published.
    virtual bool AddRelease(Release& release, std::string& error) = 0;
    virtual bool ListReleases(std::vector<Release>& out, std::string& error) = 0;

    // Stores the rows in one transaction, each unless its address is over
    // the limit (counting the rows before it); gives each stored row its id.
    // All or nothing: on false no row is stored.
    virtual bool InsertFeedback(std::vector<Feedback>& rows, const RateLimit& limit,
                                std::vector<InsertOutcome>& outcomes, std::string& error) = 0;
    virtual bool ListFeedback(const FeedbackQuery& query, std::vector<Feedback>& out,
                              std::string& error) = 0;
    // found is false when no such row exists.
    virtual bool GetFeedback(std::int64_t id, Feedback& out, bool& found, std::string& error) = 0;
    virtual bool DeleteFeedback(std::int64_t id, bool& found, std::string& error) = 0;
    // Sets or (with nullopt) clears the time the message was answered.
    virtual bool MarkAnswered(std::int64_t id, std::optional<std::int64_t> whenMs, bool& found,
                              std::string& error) = 0;
};

// "sqlite:PATH" or a PostgreSQL URI ("postgresql://..." or "postgres://...").
bool IsStoreSpec(const std::string& spec);
// Opens a connection; null with the reason when it cannot.
std::unique_ptr<Store> OpenStore(const std::string& spec, std::string& error);

} // namespace sitestore
