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

HistorySearchPlan PlanHistorySearch(const HistoryQuery& query, bool count) {
    HistorySearchPlan plan;
    const QStringList words = HistorySearchWords(query.text);
    if (query.text.size() > kHistorySearchLength || words.size() > kHistorySearchWords) {
        plan.error = QStringLiteral("搜索内容太长：最多 %1 个字、%2 个词。")
                         .arg(kHistorySearchLength)
                         .arg(kHistorySearchWords);
        return plan;
    }
    QStringList trigram, grams;
    bool unmatchable = false;
    for (const QString& w : words) {
        // SQLite's text functions stop at a NUL, so no index can look for one.
        if (w.contains(QChar(0))) {
            unmatchable = true;
            continue;
        }
        if (HistoryCharacterCount(w) >= 3)
            trigram << Quoted(w);
        else
            grams << HistoryGramQueryToken(w);
    }
    if (!unmatchable) {
        plan.trigramMatch = trigram.join(QStringLiteral(" AND "));
        plan.gramsMatch = grams.join(QStringLiteral(" AND "));
    }

    // The index of the first kind of word leads; the other kind filters.
    QByteArray from, where, order;
    if (!plan.trigramMatch.isEmpty()) {
        from = "entries_fts f CROSS JOIN entries e ON e.seq = f.rowid";
        where = " WHERE entries_fts MATCH ?1";
        if (!plan.gramsMatch.isEmpty())
            where += " AND e.seq IN (SELECT rowid FROM entries_grams WHERE entries_grams MATCH ?2)";
        order = "f.rowid";
    } else if (!plan.gramsMatch.isEmpty()) {
        from = "entries_grams g CROSS JOIN entries e ON e.seq = g.rowid";
        where = " WHERE entries_grams MATCH ?2";
        order = "g.rowid";
    } else {
        from = "entries e";
        where = unmatchable ? " WHERE 0" : " WHERE 1";
        order = "e.seq";
    }
    if (query.starredOnly)
        where += " AND e.starred = 1";
    if (count) {
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
