#pragma once

#include <QString>
#include <QStringView>

struct sqlite3;

// The index of short words. Trigrams cannot find a word of one or two
// characters (common in Chinese, Japanese and Korean), so every character and
// every pair of neighbouring characters of an entry is indexed as a token of
// its own: "u<hex>" for one character, "b<hex>x<hex>" for a pair, written in
// ASCII so SQLite's plain "ascii" tokenizer reads them. Texts are case folded
// first; pairs with a blank are left out, since no search word holds one.

// The tokens of an entry's two texts, distinct, sorted, separated by blanks.
QString HistoryGramTokens(QStringView source, QStringView target);
// The token a search word of one or two characters looks for; empty for any
// other length.
QString HistoryGramQueryToken(QStringView word);
// The number of characters (code points) in a word.
int HistoryCharacterCount(QStringView word);
// Makes history_grams(source, target) known to the connection: the index's
// triggers call it. Returns the SQLite result code.
int RegisterHistoryGrams(sqlite3* db);
