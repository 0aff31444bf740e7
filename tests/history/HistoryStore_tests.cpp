// The store: search over both texts in every script, the update of a repeated
// text, paging, and the indexes kept in step through every kind of change.
#include "HistoryTestUtil.h"
#include "history/HistorySearch.h"

#include <QFile>
#include <QFileInfo>
#include <random>

using namespace Qt::StringLiterals;

namespace {

struct Row {
    const char* source;
    const char* target;
    const char* from;
    const char* to;
};

// Recorded in this order: the newest is the last.
const Row kEntries[] = {
    {"我的猫很可爱", "My cat is very cute", "zh-CN", "en"},
    {"今天天气很好", "The weather is nice today", "zh-CN", "en"},
    {"Hello World", "你好，世界", "en", "zh-CN"},
    {"猫", "cat", "zh-CN", "en"},
    {"北京欢迎你", "Beijing welcomes you", "zh-CN", "en"},
    {"QUICK brown fox", "快速的棕色狐狸", "en", "zh-CN"},
    {R"x(He said "NEAR(a b)" AND x*)x", "他说了一些话", "en", "zh-CN"},
    {"Café résumé", "咖啡馆简历", "fr", "zh-CN"},
    {"日本語のテキスト", "日语文本", "ja", "zh-CN"},
    {"안녕하세요", "你好", "ko", "zh-CN"},
};

void RecordAll(TempStore& t) {
    for (const Row& r : kEntries)
        t.Record(Entry(QString::fromUtf8(r.source), QString::fromUtf8(r.target),
                       QString::fromUtf8(r.from), QString::fromUtf8(r.to)));
}

QStringList AllNewestFirst() {
    QStringList all;
    for (const Row& r : kEntries)
        all.prepend(QString::fromUtf8(r.source));
    return all;
}

} // namespace

TEST(HistoryStore, SearchFindsWordsOfEveryLengthInEveryScript) {
    TempStore t;
    RecordAll(t);
    const QString hostile = QString::fromUtf8(kEntries[6].source);
    const struct {
        QString query;
        QStringList found; // newest first
    } cases[] = {
        {u"猫"_s, {u"猫"_s, u"我的猫很可爱"_s}},
        {u"天气"_s, {u"今天天气很好"_s}},
        {u"可爱"_s, {u"我的猫很可爱"_s}},
        {u"天气很好"_s, {u"今天天气很好"_s}},
        {u"你好"_s, {u"안녕하세요"_s, u"Hello World"_s}},
        {u"你"_s, {u"안녕하세요"_s, u"北京欢迎你"_s, u"Hello World"_s}},
        {u"北京 你"_s, {u"北京欢迎你"_s}},
        {u"猫 cute"_s, {u"我的猫很可爱"_s}},
        {u"cat"_s, {u"猫"_s, u"我的猫很可爱"_s}},
        {u"HELLO"_s, {u"Hello World"_s}},
        {u"wOrLd"_s, {u"Hello World"_s}},
        {u"CAFÉ"_s, {u"Café résumé"_s}},
        {u"É"_s, {u"Café résumé"_s}},
        {u"語"_s, {u"日本語のテキスト"_s}},
        {u"テキスト"_s, {u"日本語のテキスト"_s}},
        {u"안녕"_s, {u"안녕하세요"_s}},
        {u"  猫  "_s, {u"猫"_s, u"我的猫很可爱"_s}},
        // Nothing matches.
        {u"龙"_s, {}},
        {u"恐龙"_s, {}},
        {u"dragon"_s, {}},
        {u"猫 dragon"_s, {}},
        // FTS syntax and quotes are only characters to find.
        {u"\""_s, {hostile}},
        {u"*"_s, {hostile}},
        {u"x*"_s, {hostile}},
        {u"NEAR(a"_s, {hostile}},
        {u"\"NEAR(a b)\""_s, {hostile}},
        {u"AND"_s, {hostile}},
        {u"OR"_s, {u"Hello World"_s}},
        {u")"_s, {hostile}},
        {u"^"_s, {}},
        {u"-"_s, {}},
        {u"'"_s, {}},
        {u"a:b"_s, {}},
        {u"\"\"\""_s, {}},
        {QStringLiteral("猫") + QChar(0), {}},
        {QString(QChar(0)), {}},
        // No words: everything.
        {u""_s, AllNewestFirst()},
        {u" \t "_s, AllNewestFirst()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query.toStdString());
        EXPECT_EQ(t.Find(c.query), c.found);
        HistoryQuery q;
        q.text = c.query;
        EXPECT_EQ(t.store->Count(q).count, c.found.size());
    }
}

TEST(HistoryStore, AQueryTooLongIsAnErrorNotASlowSearch) {
    TempStore t;
    RecordAll(t);
    QStringList words;
    for (int i = 0; i <= kHistorySearchWords; ++i)
        words << QString::number(i);
    for (const QString& text : {words.join(u' '), QString(kHistorySearchLength + 1, u'猫')}) {
        HistoryQuery q;
        q.text = text;
        const HistoryPage page = t.store->Search(q);
        EXPECT_FALSE(page.error.isEmpty());
        EXPECT_TRUE(page.entries.isEmpty());
    }
}

TEST(HistoryStore, TheSameTextAgainUpdatesItsEntry) {
    TempStore t;
    HistoryEntry first = Entry(u"生词"_s, u"new word"_s);
    t.Record(first);
    const HistoryEntry old = t.store->Search({}).entries.value(0);
    ASSERT_TRUE(t.store->SetStarred(old.id, true).ok());
    t.Record(Entry(u"别的"_s, u"other"_s));

    HistoryEntry again = first;
    again.target = u"vocabulary"_s;
    again.engine = u"bing"_s;
    again.timeMs = first.timeMs + 5000;
    t.Record(again);
    t.Record(Entry(u"生词"_s, u"新語"_s, u"zh-CN"_s, u"ja"_s)); // another pair: its own entry

    const QList<HistoryEntry> all = t.store->Search({}).entries;
    ASSERT_EQ(all.size(), 3);
    EXPECT_EQ(all[0].targetCode, u"ja"_s);
    const HistoryEntry& updated = all[1];
    EXPECT_EQ(updated.id, old.id);
    EXPECT_EQ(updated.target, u"vocabulary"_s);
    EXPECT_EQ(updated.engine, u"bing"_s);
    EXPECT_EQ(updated.timeMs, again.timeMs);
    EXPECT_TRUE(updated.starred);
    EXPECT_GT(updated.position, all[2].position);
    // The old translation is gone from the index, the new one is in it.
    EXPECT_EQ(t.Find(u"new word"_s), QStringList());
    EXPECT_EQ(t.Find(u"vocab"_s), QStringList{u"生词"_s});
}

TEST(HistoryStore, PagesFollowOnWithoutGapsOrRepeats) {
    TempStore t;
    for (int i = 0; i < 25; ++i) {
        t.Record(Entry(u"第%1条"_s.arg(i), u"item %1"_s.arg(i)));
        if (i % 3 == 0) {
            ASSERT_TRUE(t.store->SetStarred(t.store->Search({}).entries[0].id, true).ok());
        }
    }
    for (const HistoryQuery& base : {HistoryQuery{}, HistoryQuery{u"条"_s}, HistoryQuery{u"item"_s},
                                     HistoryQuery{u"条"_s, true}}) {
        HistoryQuery all = base;
        all.limit = 0;
        const QList<HistoryEntry> expected = t.store->Search(all).entries;
        QList<HistoryEntry> paged;
        HistoryQuery q = base;
        q.limit = 10;
        for (;;) {
            const QList<HistoryEntry> page = t.store->Search(q).entries;
            if (page.isEmpty())
                break;
            paged << page;
            q.olderThan = page.last().position;
        }
        ASSERT_EQ(paged.size(), expected.size()) << qPrintable(base.text);
        for (int i = 0; i < paged.size(); ++i)
            EXPECT_EQ(paged[i].id, expected[i].id);
        EXPECT_EQ(expected.size(), base.starredOnly ? 9 : 25);
    }
}

TEST(HistoryStore, StarRemoveAndClearReportWhatTheyDid) {
    TempStore t;
    RecordAll(t);
    EXPECT_FALSE(t.store->SetStarred(999999, true).ok());
    const QList<HistoryEntry> all = t.store->Search({}).entries;
    ASSERT_TRUE(t.store->SetStarred(all[3].id, true).ok());
    EXPECT_EQ(t.Find({}, true), QStringList{all[3].source});
    ASSERT_TRUE(t.store->Remove(all[3].id).ok());
    EXPECT_EQ(t.Find({}, true), QStringList());
    EXPECT_EQ(t.Find(all[3].source), QStringList());
    EXPECT_EQ(t.store->Count({}).count, all.size() - 1);

    EXPECT_FALSE(t.store->Record(Entry(u"  "_s, u"x"_s)).ok());
    EXPECT_FALSE(t.store->Record(Entry(u"x"_s, {})).ok());
    EXPECT_EQ(t.store->Count({}).count, all.size() - 1);
}

TEST(HistoryStore, ClearLeavesNoTextInTheFile) {
    TempStore t;
    const QString secret = u"机密 Zq7xSecretWord"_s;
    for (int i = 0; i < 200; ++i)
        t.Record(Entry(secret + QString::number(i), u"秘密译文 %1"_s.arg(i)));
    ASSERT_TRUE(t.store->Clear().ok());
    EXPECT_EQ(t.store->Count({}).count, 0);
    EXPECT_EQ(t.Find(u"Zq7x"_s), QStringList());
    EXPECT_EQ(t.Find(u"机"_s), QStringList());
    for (const QString& suffix : {u""_s, u"-wal"_s}) {
        QFile f(t.path + suffix);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = f.readAll();
        EXPECT_FALSE(bytes.contains("Zq7xSecretWord")) << qPrintable(suffix);
        EXPECT_FALSE(bytes.contains(u"秘密译文"_s.toUtf8())) << qPrintable(suffix);
    }
    t.Record(Entry(u"之后"_s, u"after"_s));
    EXPECT_EQ(t.Find(u"之"_s), QStringList{u"之后"_s});
}

// Random records, repeats, stars and removals; every search must give what a
// plain substring scan of the same entries gives.
TEST(HistoryStore, SearchAgreesWithAPlainScanAfterRandomChanges) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    const QString alphabet = u"猫狗天气好你我aAbBé É\"*()-"_s;
    auto text = [&](int maxLength) {
        QString s;
        for (int n = 1 + int(rng() % unsigned(maxLength)); n > 0; --n)
            s += alphabet[int(rng() % unsigned(alphabet.size()))];
        return s;
    };
    TempStore t;
    struct Model {
        QString target;
        bool starred = false;
    };
    QMap<QString, Model> model;
    for (int step = 0; step < 400; ++step) {
        const int op = int(rng() % 10);
        if (op < 7 || model.isEmpty()) {
            const QString source = text(6);
            const QString target = text(6);
            if (source.trimmed().isEmpty() || target.trimmed().isEmpty())
                continue;
            t.Record(Entry(source, target));
            model[source].target = target;
            continue;
        }
        const QList<HistoryEntry> all = t.store->Search({}).entries;
        const HistoryEntry& e = all[int(rng() % unsigned(all.size()))];
        if (op < 9) {
            ASSERT_TRUE(t.store->SetStarred(e.id, !e.starred).ok());
            model[e.source].starred = !e.starred;
        } else {
            ASSERT_TRUE(t.store->Remove(e.id).ok());
            model.remove(e.source);
        }
    }
    for (int i = 0; i < 200; ++i) {
        const QString query = text(4);
        const bool starred = rng() % 4 == 0;
        const QStringList words = HistorySearchWords(query);
        QStringList expected;
        for (auto it = model.begin(); it != model.end(); ++it) {
            const QString both = (it.key() + u'\n' + it->target).toCaseFolded();
            bool all = !starred || it->starred;
            for (const QString& w : words)
                all = all && both.contains(w.toCaseFolded());
            if (all)
                expected << it.key();
        }
        QStringList found = t.Find(query, starred);
        found.sort();
        expected.sort();
        EXPECT_EQ(found, expected) << qPrintable(query);
    }
}

// Checkpoints are left out of recording; a store that nobody checkpoints must
// still keep its write-ahead log from growing without end.
TEST(HistoryStore, TheLogStaysBoundedWithoutCheckpoints) {
    TempStore t;
    qint64 largest = 0;
    for (int i = 0; i < 1000; ++i) {
        t.Record(Entry(u"日志 %1 %2"_s.arg(i).arg(QString(60, u'长')), QString(80, u'x')));
        largest = std::max(largest, QFileInfo(t.path + u"-wal"_s).size());
    }
    EXPECT_LT(largest, 5 * HistoryStore::kCheckpointPages * 4096);
}
