#pragma once

#include "history/SqliteStatement.h"

#include <QString>

struct sqlite3;

// An open SQLite connection, closed by its owner.
class SqliteDatabase {
public:
    SqliteDatabase() = default;
    ~SqliteDatabase();
    SqliteDatabase(SqliteDatabase&& other) noexcept;
    SqliteDatabase& operator=(SqliteDatabase&& other) noexcept;
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    // Opens the file at path for reading and writing, creating it when
    // missing; or only for reading, which never changes the file or its
    // journal. Returns the SQLite result code.
    int Open(const QString& path, bool readOnly = false);
    void Close();
    bool IsOpen() const { return db_ != nullptr; }
    sqlite3* Handle() const { return db_; }

    SqliteStatement Prepare(const char* sql) const { return SqliteStatement(db_, sql); }
    // Runs statements that yield no rows; returns the SQLite result code.
    int Exec(const char* sql) const;
    // The first column of the first row of a query, or `fallback`.
    int64_t QueryInt(const char* sql, int64_t fallback = 0) const;
    int64_t Changes() const;
    // The connection's latest error message.
    QString Message() const;

private:
    sqlite3* db_ = nullptr;
};
