#pragma once

#include "history/HistoryEntry.h"
#include "history/HistoryLock.h"
#include "history/HistorySearch.h"
#include "history/SqliteDatabase.h"

#include <QString>
#include <functional>
#include <memory>

class HistoryStore;

struct HistoryOpenResult {
    std::unique_ptr<HistoryStore> store; // null when the history cannot be used now
    QString error;                       // why not, to show
    bool busy = false;                   // other processes kept the file locked: try again later
    // Set when the file found was damaged, another program's or from a newer
    // version: where it was moved, and a message to show (a new store was
    // started in its place).
    QString movedTo;
    QString notice;
};

// The translation history: an SQLite file ("history.sqlite3" in the data
// folder) that any number of processes read and write at once. Errors are
// values; nothing here throws. One thread at a time per object.
class HistoryStore {
public:
    // LocalAppDataPath()/history.sqlite3; empty when there is no data folder.
    static QString DefaultPath();
    // Opens the file, making it when missing and migrating an older one. A
    // file that is not a usable history is never overwritten or deleted: it
    // is moved aside (see MoveHistoryAside) unless another process has it
    // open, and a new one is made. `thorough` also checks every page, for
    // a file that reported damage while in use.
    static HistoryOpenResult Open(const QString& path, bool thorough = false);
    ~HistoryStore();

    QString Path() const { return path_; }

    // Records a translation. The same source text between the same two
    // codes updates its entry instead (translation, engine, time; it moves
    // to the top and keeps its star).
    HistoryStatus Record(const HistoryEntry& entry);
    // Several in one transaction, in order; an entry without text is left
    // out (and reported), the others are still recorded.
    HistoryStatus Record(const QList<HistoryEntry>& entries);
    HistoryPage Search(const HistoryQuery& query) const;
    // How many entries a query finds (its limit and paging ignored).
    HistoryCount Count(const HistoryQuery& query) const;
    HistoryStatus SetStarred(int64_t id, bool starred);
    HistoryStatus Remove(int64_t id);
    // Removes every entry; the texts are overwritten in the file, not only
    // unlinked.
    HistoryStatus Clear();

    // True once an operation met a damaged file: open it again with
    // `thorough` to have it moved aside.
    bool SawDamage() const { return sawDamage_; }

    // Copying the write-ahead log back into the file (and its sync) is left
    // out of recording: the recorder does it between entries once the log
    // has grown this long, and the last process to close does it too. Only
    // a log four times as long is copied back while recording.
    static constexpr int kCheckpointPages = 1000;
    bool CheckpointDue() const { return walPages_ >= kCheckpointPages; }
    void Checkpoint();

private:
    HistoryStore(QString path, std::unique_ptr<HistoryLock> lock, SqliteDatabase db);
    HistoryStatus Failed(const QString& what, int code) const;
    HistorySearchPlan Plan(const HistoryQuery& query, bool count) const;
    SqliteStatement Prepare(const HistorySearchPlan& plan, const HistoryQuery& query) const;
    HistoryStatus Write(const QString& what, const std::function<int()>& work);

    QString path_;
    std::unique_ptr<HistoryLock> lock_; // held shared while the file is open
    SqliteDatabase db_;
    mutable bool sawDamage_ = false;
    int walPages_ = 0;
};
