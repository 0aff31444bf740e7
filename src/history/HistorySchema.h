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
    QString message; // SQLite's words, for Failed and Damaged
};

// The schema's version (PRAGMA user_version) this program writes.
int LatestHistorySchema();
// The mark (PRAGMA application_id) that tells our file from others.
int HistoryApplicationId();

// Checks the open file and brings an empty or older one to the latest schema,
// one numbered step at a time, each step and its version in one transaction.
// `thorough` also checks every page (slow on a large file).
HistoryInspection InspectAndMigrate(SqliteDatabase& db, bool thorough);
