#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <cstdint>

struct sqlite3;
struct sqlite3_stmt;

// A prepared statement, finalized by its owner. Reset after every use, so a
// finished read never keeps the database's snapshot (and with it the WAL)
// pinned.
class SqliteStatement {
public:
    SqliteStatement() = default;
    SqliteStatement(sqlite3* db, const char* sql);
    ~SqliteStatement();
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement& operator=(SqliteStatement&& other) noexcept;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    bool Valid() const { return stmt_ != nullptr; }
    // The result code of preparing, or of the last failed step.
    int Code() const { return code_; }

    // Parameters count from 1.
    void Bind(int index, QStringView text);
    void Bind(int index, int64_t value);
    // One step: true while it yields a row. After false, Done() tells a
    // finished statement from a failed one (Code() then says why).
    bool Step();
    bool Done() const { return state_ == State::Done; }
    // Runs a statement that yields no rows; false on failure.
    bool Run();
    void Reset();

    int64_t Int(int column) const;
    QString Text(int column) const;

private:
    enum class State { Ready, Done, Failed };
    sqlite3_stmt* stmt_ = nullptr;
    int code_ = 0;
    State state_ = State::Ready;
};
