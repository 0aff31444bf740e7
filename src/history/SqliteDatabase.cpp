#include "history/SqliteDatabase.h"

#include <QFile>
#include <sqlite3.h>
#include <utility>

SqliteDatabase::~SqliteDatabase() {
    Close();
}

SqliteDatabase::SqliteDatabase(SqliteDatabase&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)) {}

SqliteDatabase& SqliteDatabase::operator=(SqliteDatabase&& other) noexcept {
    if (this != &other) {
        Close();
        db_ = std::exchange(other.db_, nullptr);
    }
    return *this;
}

int SqliteDatabase::Open(const QString& path, bool readOnly) {
    Close();
    const int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, flags, nullptr);
    if (rc != SQLITE_OK)
        Close();
    return rc;
}

void SqliteDatabase::Close() {
    // Every statement is owned elsewhere and finalized before this; _v2 would
    // keep a zombie connection open until they are.
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

int SqliteDatabase::Exec(const char* sql) const {
    return db_ ? sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) : SQLITE_MISUSE;
}

int64_t SqliteDatabase::QueryInt(const char* sql, int64_t fallback) const {
    SqliteStatement s = Prepare(sql);
    return s.Step() ? s.Int(0) : fallback;
}

int64_t SqliteDatabase::Changes() const {
    return db_ ? sqlite3_changes64(db_) : 0;
}

QString SqliteDatabase::Message() const {
    return db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString();
}
