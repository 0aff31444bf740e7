#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace sitestore {

// One prepared statement, finalized by its destructor.
class SqliteStatement {
public:
    SqliteStatement(sqlite3* db, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    bool Prepared() const { return stmt_ != nullptr; }
    void Bind(int index, std::int64_t value);
    void Bind(int index, std::string_view text);
    void BindNull(int index);
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step();
    void Reset();

    std::int64_t Int(int column) const;
    std::string Text(int column) const;
    bool IsNull(int column) const;

private:
    sqlite3_stmt* stmt_ = nullptr;
};

} // namespace sitestore
