#include "sitestore/SqliteStatement.h"

#include <sqlite3.h>

namespace sitestore {

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql) {
    if (sqlite3_prepare_v2(db, sql.data(), int(sql.size()), &stmt_, nullptr) != SQLITE_OK)
        stmt_ = nullptr;
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(stmt_);
}

void SqliteStatement::Bind(int index, std::int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
}

void SqliteStatement::Bind(int index, std::string_view text) {
    sqlite3_bind_text(stmt_, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
}

void SqliteStatement::BindNull(int index) {
    sqlite3_bind_null(stmt_, index);
}

int SqliteStatement::Step() {
    return sqlite3_step(stmt_);
}

void SqliteStatement::Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

std::int64_t SqliteStatement::Int(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

std::string SqliteStatement::Text(int column) const {
    const auto* text = sqlite3_column_text(stmt_, column);
    if (!text)
        return {};
    return std::string(reinterpret_cast<const char*>(text),
                       std::size_t(sqlite3_column_bytes(stmt_, column)));
}

bool SqliteStatement::IsNull(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

} // namespace sitestore
