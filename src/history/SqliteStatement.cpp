#include "history/SqliteStatement.h"

#include <sqlite3.h>
#include <utility>

SqliteStatement::SqliteStatement(sqlite3* db, const char* sql) {
    code_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
    if (code_ != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(stmt_);
}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : stmt_(std::exchange(other.stmt_, nullptr)), code_(other.code_), state_(other.state_) {}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(stmt_);
        stmt_ = std::exchange(other.stmt_, nullptr);
        code_ = other.code_;
        state_ = other.state_;
    }
    return *this;
}

void SqliteStatement::Bind(int index, QStringView text) {
    if (!stmt_)
        return;
    const QByteArray utf8 = text.toUtf8();
    // The length is given, so a NUL inside the text is kept.
    sqlite3_bind_text64(stmt_, index, utf8.constData(), sqlite3_uint64(utf8.size()),
                        SQLITE_TRANSIENT, SQLITE_UTF8);
}

void SqliteStatement::Bind(int index, int64_t value) {
    if (stmt_)
        sqlite3_bind_int64(stmt_, index, value);
}

bool SqliteStatement::Step() {
    if (!stmt_ || state_ != State::Ready)
        return false;
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    state_ = rc == SQLITE_DONE ? State::Done : State::Failed;
    if (rc != SQLITE_DONE)
        code_ = rc;
    // Ending the statement here releases its read snapshot at once.
    sqlite3_reset(stmt_);
    return false;
}

bool SqliteStatement::Run() {
    while (Step()) {
    }
    return Done();
}

void SqliteStatement::Reset() {
    if (!stmt_)
        return;
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    state_ = State::Ready;
}

int64_t SqliteStatement::Int(int column) const {
    return stmt_ ? sqlite3_column_int64(stmt_, column) : 0;
}

QString SqliteStatement::Text(int column) const {
    if (!stmt_)
        return {};
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
    return QString::fromUtf8(bytes, sqlite3_column_bytes(stmt_, column));
}
