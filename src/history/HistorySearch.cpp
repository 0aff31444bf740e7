#include "history/HistorySearch.h"

#include "history/HistoryGrams.h"

namespace {

constexpr char kColumns[] =
    "e.id, e.seq, e.source, e.target, e.source_code, e.target_code, e.engine, e.time, e.starred";

// An FTS5 string: inside double quotes everything is literal but the quote,
// which is doubled.
QString Quoted(const QString& word) {
    QString q = word;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

} // namespace

QStringList HistorySearchWords(const QString& text) {
    QStringList words;
    QString word;
    auto finish = [&] {
        if (!word.isEmpty() && !words.contains(word))
            words << word;
        word.clear();
    };
    for (const QChar c : text) {
        if (c.isSpace())
            finish();
        else
            word += c;
    }
    finish();
    return words;
}

HistorySearchPlan PlanHistorySearch(const HistoryQuery& query, bool count, int64_t starredEntries) {
    HistorySearchPlan plan;
    const QStringList words = HistorySearchWords(query.text);
    if (query.text.size() > kHistorySearchLength || words.size() > kHistorySearchWords) {
        plan.error = QStringLiteral("搜索内容太长：最多 %1 个字、%2 个词。")
                         .arg(kHistorySearchLength)
                         .arg(kHistorySearchWords);
        return plan;
    }
    QStringList longWords, shortWords;
    bool unmatchable = false;
    for (const QString& w : words) {
        // SQLite's text functions stop at a NUL, so no index can look for one.
        if (w.contains(QChar(0)))
            unmatchable = true;
        else if (HistoryCharacterCount(w) >= 3)
            longWords << w;
        else
            shortWords << w;
    }

    QByteArray from, where, order;
    if (unmatchable || words.isEmpty() ||
        (query.starredOnly && starredEntries <= kHistoryStarredScan)) {
        from = "entries e";
        where = unmatchable ? " WHERE 0" : " WHERE 1";
        order = "e.seq";
        if (!words.isEmpty() && !unmatchable) {
            plan.checkWords = words.join(u'\n');
            where += " AND history_contains(e.source, e.target, ?5)";
        }
    } else if (shortWords.isEmpty()) {
        QStringList phrases;
        for (const QString& w : longWords)
            phrases << Quoted(w);
        plan.trigramMatch = phrases.join(QStringLiteral(" AND "));
        from = "entries_fts f CROSS JOIN entries e ON e.seq = f.rowid";
        where = " WHERE entries_fts MATCH ?1";
        order = "f.rowid";
    } else {
        QStringList tokens;
        for (const QString& w : words)
            for (const QString& t : HistoryGramWordTokens(w))
                if (!tokens.contains(t))
                    tokens << t;
        plan.gramsMatch = tokens.join(QStringLiteral(" AND "));
        from = "entries_grams g CROSS JOIN entries e ON e.seq = g.rowid";
        where = " WHERE entries_grams MATCH ?2";
        order = "g.rowid";
        if (!longWords.isEmpty()) {
            plan.checkWords = longWords.join(u'\n');
            where += " AND history_contains(e.source, e.target, ?5)";
        }
    }
    if (query.starredOnly)
        where += " AND e.starred = 1";
    if (count) {
        // Without a condition on the entries, the index counts alone.
        if (!query.starredOnly && plan.checkWords.isEmpty() && !plan.trigramMatch.isEmpty())
            plan.sql = "SELECT count(*) FROM entries_fts WHERE entries_fts MATCH ?1";
        else if (!query.starredOnly && plan.checkWords.isEmpty() && !plan.gramsMatch.isEmpty())
            plan.sql = "SELECT count(*) FROM entries_grams WHERE entries_grams MATCH ?2";
        else
            plan.sql = "SELECT count(*) FROM " + from + where;
        return plan;
    }
    if (query.olderThan > 0)
        where += " AND " + order + " < ?3";
    plan.sql =
        "SELECT " + QByteArray(kColumns) + " FROM " + from + where + " ORDER BY " + order + " DESC";
    if (query.limit > 0)
        plan.sql += " LIMIT ?4";
    return plan;
}
