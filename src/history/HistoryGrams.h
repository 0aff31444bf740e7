#pragma once

#include <QString>
#include <QStringList>
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
// The tokens every entry holding the word has: its character for a word of
// one, else each pair of neighbouring characters. Exact for words of one or
// two characters; for longer ones they only narrow the search.
QStringList HistoryGramWordTokens(QStringView word);
// Whether every word occurs in the source or the target, case folded as the
// index folds; history_contains(source, target, words) in SQL, with the
// words separated by line breaks.
bool HistoryContainsAll(QStringView source, QStringView target, const QStringList& words);
// The number of characters (code points) in a word.
int HistoryCharacterCount(QStringView word);
// Makes history_grams(source, target), which the index's triggers call, and
// history_contains known to the connection. Returns the SQLite result code.
int RegisterHistoryFunctions(sqlite3* db);
