#pragma once

#include <QDateTime>
#include <QString>

// Moves an unusable history file out of the way, never over another file:
// "history.sqlite3" becomes "history-<reason>-<yyyyMMdd-HHmmss>.sqlite3"
// (with "-2", "-3", ... when taken), and its journal files ("-wal", "-shm",
// "-journal") go with it first, so the new file never meets the old one's
// journal. Returns the new path, or empty with `error` set (the file then
// stays where it was).
QString MoveHistoryAside(const QString& path, const QString& reason, const QDateTime& now,
                         QString& error);
