#pragma once

#include <QList>
#include <QString>
#include <cstdint>

// One recorded translation.
struct HistoryEntry {
    int64_t id = 0;       // stable for the entry's life; 0 before it is recorded
    int64_t position = 0; // rises with every recording; newest first is highest first
    QString source;       // the text as it was translated
    QString target;       // the translation
    QString sourceCode;   // translation codes, e.g. "en", "zh-CN", "auto"
    QString targetCode;
    QString engine;       // the engine that answered; empty when not known
    int64_t timeMs = 0;   // milliseconds since 1970 (UTC); 0 when recording means now
    bool starred = false; // in the word book
};

// What to list: the words of `text` (separated by blanks) must each occur in
// the source or the translation, without regard to case; empty text lists
// everything. Newest first.
struct HistoryQuery {
    QString text;
    bool starredOnly = false;
    int limit = 100; // at most this many; 0 or less: all
    // Paging: only entries older than the one at this position (the last
    // entry of the previous page); 0: from the newest.
    int64_t olderThan = 0;
};

// The outcome of a change: empty error when done, else a message to show.
struct HistoryStatus {
    QString error;
    // Failed only because other processes kept the file locked past the
    // wait: the same change may succeed when tried again.
    bool busy = false;
    bool ok() const { return error.isEmpty(); }
};

struct HistoryPage {
    QList<HistoryEntry> entries;
    QString error;
};

struct HistoryCount {
    int64_t count = 0;
    QString error;
};
