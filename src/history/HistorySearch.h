#pragma once

#include "history/HistoryEntry.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// A history query turned into SQL. Every word of the query is matched as
// plain text: quotes, FTS operators and other syntax in it are only
// characters to find. Words of three or more characters go to the trigram
// index, shorter ones to the short-word index; the index that holds a word
// yields the entries newest first, so a page costs the same however many
// entries match.
struct HistorySearchPlan {
    QString error;        // the query cannot be run (too long); nothing else is set
    QByteArray sql;       // parameters: ?1 trigram match, ?2 short-word match,
                          // ?3 position to page from, ?4 limit
    QString trigramMatch; // empty when the SQL does not use it
    QString gramsMatch;
};

// Words longer in total than this, or more words than kHistorySearchWords,
// make an error rather than a slow search.
inline constexpr int kHistorySearchLength = 1000;
inline constexpr int kHistorySearchWords = 16;

// The query's words: split at blanks, each kept once. A word with a NUL in it
// matches nothing.
QStringList HistorySearchWords(const QString& text);

// count: the SQL yields one row, the number of matching entries (limit and
// paging ignored); else the entries' columns in HistoryEntry order.
HistorySearchPlan PlanHistorySearch(const HistoryQuery& query, bool count);
