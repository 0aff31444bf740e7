#pragma once

#include "history/HistoryEntry.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// A history query turned into SQL. Every word of the query is matched as
// plain text: quotes, FTS operators and other syntax in it are only
// characters to find. The index that leads yields entries newest first, so a
// page stops as soon as it is full:
// - words of three or more characters only: the trigram index, exact;
// - words of one or two only: the short-word index, exact;
// - both kinds: the short-word index with the pairs of the long words too
//   (FTS5 intersects its lists itself), the long words then checked in the
//   entries' texts;
// - the word book with few enough entries: the starred entries themselves,
//   each checked (a frequent word would otherwise walk most of the index).
struct HistorySearchPlan {
    QString error;        // the query cannot be run (too long); nothing else is set
    QByteArray sql;       // parameters: ?1 trigram match, ?2 short-word match, ?3
                          // position to page from, ?4 limit, ?5 words to check
    QString trigramMatch; // each empty when the SQL does not use it
    QString gramsMatch;
    QString checkWords; // separated by line breaks
};

// Words longer in total than this, or more words than kHistorySearchWords,
// make an error rather than a slow search.
inline constexpr int kHistorySearchLength = 1000;
inline constexpr int kHistorySearchWords = 16;
// Up to this many entries in the word book are checked one by one.
inline constexpr int64_t kHistoryStarredScan = 5000;

// The query's words: split at blanks, each kept once. A word with a NUL in it
// matches nothing.
QStringList HistorySearchWords(const QString& text);

// count: the SQL yields one row, the number of matching entries (limit and
// paging ignored); else the entries' columns in HistoryEntry order.
// starredEntries: the number of starred entries, for a word book query.
HistorySearchPlan PlanHistorySearch(const HistoryQuery& query, bool count, int64_t starredEntries);
