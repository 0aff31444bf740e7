#include "history/HistoryGrams.h"

#include <QChar>
#include <QStringList>
#include <algorithm>
#include <memory>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace {

// Case folding of a character Unicode already had in version 13 never
// changes, so every later Qt folds a stored text exactly as the one that
// indexed it; its removal from the index depends on that.
char32_t Fold(char32_t c) {
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
    const QChar::UnicodeVersion v = QChar::unicodeVersion(c);
    if (v == QChar::Unicode_Unassigned || v > QChar::Unicode_13_0)
        return c;
    return QChar::toCaseFolded(c);
}

bool Separates(char32_t c) {
    return c == 0 || QChar::isSpace(c);
}

std::u32string Folded(QStringView text) {
    std::u32string out;
    out.reserve(size_t(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), text[++i].unicode());
        else if (QChar::isSurrogate(c))
            c = QChar::ReplacementCharacter;
        out.push_back(Fold(c));
    }
    return out;
}

// Code points take 21 bits: a pair packs into one number; single characters
// get a mark above every pair.
constexpr uint64_t kSingle = uint64_t(1) << 42;

void Collect(QStringView text, std::vector<uint64_t>& grams) {
    const std::u32string c = Folded(text);
    for (size_t i = 0; i < c.size(); ++i) {
        if (Separates(c[i]))
            continue;
        grams.push_back(kSingle | c[i]);
        if (i + 1 < c.size() && !Separates(c[i + 1]))
            grams.push_back(uint64_t(c[i]) << 21 | c[i + 1]);
    }
}

QString Token(uint64_t gram) {
    if (gram & kSingle)
        return u'u' + QString::number(gram & 0x1FFFFF, 16);
    return u'b' + QString::number(gram >> 21, 16) + u'x' + QString::number(gram & 0x1FFFFF, 16);
}

QString Argument(sqlite3_value* value) {
    const auto* bytes = static_cast<const char*>(sqlite3_value_blob(value));
    return QString::fromUtf8(bytes, sqlite3_value_bytes(value));
}

void GramsFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    const QByteArray tokens = HistoryGramTokens(Argument(argv[0]), Argument(argv[1])).toUtf8();
    sqlite3_result_text64(context, tokens.constData(), sqlite3_uint64(tokens.size()),
                          SQLITE_TRANSIENT, SQLITE_UTF8);
}

using FoldedWords = std::vector<std::u32string>;

bool ContainsAll(QStringView source, QStringView target, const FoldedWords& words) {
    const std::u32string s = Folded(source);
    std::u32string t;
    bool targetFolded = false;
    for (const std::u32string& w : words) {
        if (s.find(w) != std::u32string::npos)
            continue;
        if (!targetFolded) {
            t = Folded(target);
            targetFolded = true;
        }
        if (t.find(w) == std::u32string::npos)
            return false;
    }
    return true;
}

FoldedWords FoldWords(const QStringList& words) {
    FoldedWords out;
    for (const QString& w : words)
        out.push_back(Folded(w));
    return out;
}

void ContainsFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    const QString source = Argument(argv[0]), target = Argument(argv[1]);
    // The words are the same for every row of a search: folded once, kept by
    // SQLite while the argument stays the same.
    if (const auto* kept = static_cast<FoldedWords*>(sqlite3_get_auxdata(context, 2))) {
        sqlite3_result_int(context, ContainsAll(source, target, *kept));
        return;
    }
    auto words = std::make_unique<FoldedWords>(
        FoldWords(Argument(argv[2]).split(u'\n', Qt::SkipEmptyParts)));
    sqlite3_result_int(context, ContainsAll(source, target, *words));
    sqlite3_set_auxdata(context, 2, words.release(),
                        [](void* p) { delete static_cast<FoldedWords*>(p); });
}

} // namespace

QString HistoryGramTokens(QStringView source, QStringView target) {
    std::vector<uint64_t> grams;
    Collect(source, grams);
    Collect(target, grams);
    std::sort(grams.begin(), grams.end());
    grams.erase(std::unique(grams.begin(), grams.end()), grams.end());
    QString out;
    out.reserve(qsizetype(grams.size()) * 10);
    for (const uint64_t g : grams) {
        if (!out.isEmpty())
            out += u' ';
        out += Token(g);
    }
    return out;
}

QStringList HistoryGramWordTokens(QStringView word) {
    const std::u32string c = Folded(word);
    std::vector<uint64_t> grams;
    if (c.size() == 1 && !Separates(c[0]))
        grams.push_back(kSingle | c[0]);
    for (size_t i = 0; i + 1 < c.size(); ++i)
        if (!Separates(c[i]) && !Separates(c[i + 1]))
            grams.push_back(uint64_t(c[i]) << 21 | c[i + 1]);
    std::sort(grams.begin(), grams.end());
    grams.erase(std::unique(grams.begin(), grams.end()), grams.end());
    QStringList tokens;
    for (const uint64_t g : grams)
        tokens << Token(g);
    return tokens;
}

bool HistoryContainsAll(QStringView source, QStringView target, const QStringList& words) {
    return ContainsAll(source, target, FoldWords(words));
}

int HistoryCharacterCount(QStringView word) {
    return int(word.toUcs4().size());
}

int RegisterHistoryFunctions(sqlite3* db) {
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    const int rc = sqlite3_create_function_v2(db, "history_grams", 2, flags, nullptr, GramsFunction,
                                              nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return rc;
    return sqlite3_create_function_v2(db, "history_contains", 3, flags, nullptr, ContainsFunction,
                                      nullptr, nullptr, nullptr);
}
