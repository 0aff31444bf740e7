#pragma once

#include <QString>

class SqliteDatabase;

// What a file at the history's path turned out to be.
enum class HistoryFileKind {
    Usable,  // ours, now at the latest schema
    Damaged, // not a database, or ours with parts missing or broken
    Foreign, // some other program's database
    Newer,   // ours, from a newer version of the program
    Failed,  // could not be read at all (busy, no permission): left alone
};

struct HistoryInspection {
    HistoryFileKind kind = HistoryFileKind::Failed;
    QString message;   // SQLite's words, for Failed and Damaged
    bool busy = false; // Failed because other connections held the file: try again later
};

// How long a connection waits for other connections' locks. Writers queue on
// SQLite's lock and a write takes about a millisecond, so this is long enough
// for any number of processes recording at once.
inline constexpr int kHistoryBusyTimeoutMs = 5000;

// Whether an SQLite result code means other connections held the file.
bool IsBusyCode(int code);

// The schema's version (PRAGMA user_version) this program writes.
int LatestHistorySchema();
// The mark (PRAGMA application_id) that tells our file from others.
int HistoryApplicationId();

// A first look at the file through a read-only connection, which changes
// nothing (a read-write one would fold a journal into a damaged file, or
// delete one it cannot read, on closing). Usable here means ours or empty;
// a missing file is usable too. `thorough` also checks every page (slow on
// a large file).
HistoryInspection InspectHistoryFile(const QString& path, bool thorough);

// Checks the file open for writing again (another process may have changed
// it since) and brings an empty or older one to the latest schema, one
// numbered step at a time, each step and its version in one transaction.
// `thorough` also checks the indexes.
HistoryInspection InspectAndMigrate(SqliteDatabase& db, bool thorough);
