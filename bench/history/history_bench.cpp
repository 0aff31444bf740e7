// quill_history_bench: recording one entry (median and p99 in microseconds),
// and searches on 100,000 entries of mixed Chinese and English: a page of
// 100, newest first, through the indexes ("ours_ms") next to a plain
// LIKE '%…%' scan of the same table for the same page ("like_ms"), both
// medians of the same run; "speedup" is like_ms / ours_ms.
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "history/SqliteDatabase.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <ctime>
#include <random>
#include <vector>

namespace {

constexpr int kEntries = 100000;

const char* const kChinese[] = {
    "我们", "你们", "他们", "今天", "明天", "昨天", "天气", "很好", "学习", "工作", "朋友",
    "家人", "电脑", "手机", "翻译", "历史", "中文", "英文", "日本", "北京", "上海", "早上",
    "晚上", "吃饭", "喝水", "看书", "写字", "音乐", "电影", "时间", "问题", "办法", "知道",
    "喜欢", "可以", "应该", "因为", "所以", "但是", "如果", "已经", "还是", "一起", "非常",
    "重要", "简单", "困难", "开始", "结束", "生活", "世界", "国家", "城市", "公司", "学校",
    "老师", "学生", "医生", "猫",   "狗",   "鱼",   "鸟",   "花",   "树",   "山",   "水",
    "火",   "风",   "雨",   "雪",   "的",   "了",   "是",   "在",   "有",   "不",   "这"};
const char* const kEnglish[] = {
    "the",   "of",    "and",    "to",   "in",   "is",    "you",    "that", "it",    "he",
    "was",   "for",   "on",     "are",  "as",   "with",  "his",    "they", "at",    "be",
    "this",  "have",  "from",   "or",   "one",  "had",   "by",     "word", "but",   "not",
    "what",  "all",   "were",   "we",   "when", "your",  "can",    "said", "there", "use",
    "each",  "which", "she",    "do",   "how",  "their", "if",     "will", "up",    "other",
    "about", "out",   "many",   "then", "them", "these", "so",     "some", "her",   "would",
    "make",  "like",  "him",    "into", "time", "has",   "look",   "two",  "more",  "write",
    "go",    "see",   "number", "no",   "way",  "could", "people", "my",   "than",  "first",
    "water", "been",  "call",   "who",  "oil",  "its",   "now",    "find", "long",  "down"};

template <size_t N>
QString Words(std::mt19937& rng, const char* const (&words)[N], int min, int max,
              const QString& glue) {
    QStringList out;
    for (int n = min + int(rng() % unsigned(max - min + 1)); n > 0; --n)
        out << QString::fromUtf8(words[rng() % N]);
    return out.join(glue);
}

HistoryEntry Mixed(std::mt19937& rng, int i) {
    const QString zh = Words(rng, kChinese, 3, 14, {}) + QStringLiteral("。");
    QString en = Words(rng, kEnglish, 3, 12, QStringLiteral(" ")) + u'.';
    en[0] = en[0].toUpper();
    HistoryEntry e;
    const bool fromChinese = i % 2 != 0;
    e.source = fromChinese ? zh : en;
    e.target = fromChinese ? en : zh;
    e.sourceCode = fromChinese ? QStringLiteral("zh-CN") : QStringLiteral("en");
    e.targetCode = fromChinese ? QStringLiteral("en") : QStringLiteral("zh-CN");
    e.engine = QStringLiteral("google");
    e.timeMs = 1700000000000 + int64_t(i) * 1000;
    return e;
}

// The store of 100,000 entries, made once per run; every 20th starred.
struct Corpus {
    QTemporaryDir dir;
    QString path = dir.path() + QStringLiteral("/history.sqlite3");
    std::unique_ptr<HistoryStore> store;

    Corpus() {
        store = std::move(HistoryStore::Open(path).store);
        std::mt19937 rng(1);
        QList<HistoryEntry> batch;
        for (int i = 0; i < kEntries; ++i) {
            batch << Mixed(rng, i);
            if (batch.size() == 10000) {
                store->Record(batch);
                batch.clear();
            }
        }
        HistoryQuery all;
        all.limit = 0;
        // 5,000: the most the word book search walks entry by entry.
        const QList<HistoryEntry> entries = store->Search(all).entries;
        for (qsizetype i = 0; i < entries.size(); i += 20)
            store->SetStarred(entries[i].id, true);
    }
    static Corpus& Get() {
        static Corpus corpus;
        return corpus;
    }
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, size_t(double(v.size()) * p))];
}

// CPU time of this thread: on a loaded machine the wall clock also counts
// the time others had the processor.
double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

template <class F> double Milliseconds(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

struct Query {
    const char* label;
    const char* text;
    bool starred;
};

const Query kQueries[] = {
    {"1 CJK char, frequent", "猫", false},
    {"1 CJK char, absent", "龙", false},
    {"2 CJK chars", "天气", false},
    {"2 CJK chars, absent", "恐龙", false},
    {"word", "water", false},
    {"frequent word", "the", false},
    {"two words", "water look", false},
    {"CJK char and word", "猫 water", false},
    {"2 CJK chars, starred", "天气", true},
    {"frequent word, starred", "the", true},
    {"rare Latin pair", "xq", false},
    {"frequent letter and word", "e water", false},
    {"frequent letter", "e", false},
    {"absent word, starred", "dragon", true},
    {"absent CJK char, starred", "龙", true},
};

// The anchor: the same page from a scan of the table with LIKE on each word.
SqliteStatement LikeScan(const SqliteDatabase& db, const Query& q, QStringList& words) {
    words = QString::fromUtf8(q.text).split(u' ');
    QByteArray sql = "SELECT id, seq, source, target FROM entries WHERE 1";
    for (int i = 1; i <= words.size(); ++i)
        sql += " AND (source LIKE ?" + QByteArray::number(i) + " OR target LIKE ?" +
               QByteArray::number(i) + ")";
    if (q.starred)
        sql += " AND starred = 1";
    sql += " ORDER BY seq DESC LIMIT 100";
    return db.Prepare(sql.constData());
}

void BM_Search(benchmark::State& state) {
    Corpus& corpus = Corpus::Get();
    const Query& q = kQueries[state.range(0)];
    HistoryQuery query;
    query.text = QString::fromUtf8(q.text);
    query.starredOnly = q.starred;
    query.limit = 100;

    SqliteDatabase anchorDb;
    anchorDb.Open(corpus.path, true);
    QStringList words;
    SqliteStatement anchor = LikeScan(anchorDb, q, words);
    std::vector<double> ours, like;
    qsizetype found = 0, likeFound = 0;
    for (auto _ : state) {
        ours.push_back(Milliseconds([&] {
            found = corpus.store->Search(query).entries.size();
            benchmark::DoNotOptimize(found);
        }));
        like.push_back(Milliseconds([&] {
            anchor.Reset();
            for (int i = 0; i < words.size(); ++i)
                anchor.Bind(i + 1, u'%' + words[i] + u'%');
            likeFound = 0;
            while (anchor.Step())
                ++likeFound;
        }));
    }
    state.SetLabel(q.label);
    state.counters["ours_ms"] = Median(ours);
    state.counters["ours_max_ms"] = *std::max_element(ours.begin(), ours.end());
    state.counters["like_ms"] = Median(like);
    state.counters["speedup"] = Median(like) / Median(ours);
    state.counters["found"] = double(found);
    // LIKE folds only ASCII case, so the counts may differ for other letters.
    state.counters["like_found"] = double(likeFound);
}
BENCHMARK(BM_Search)->DenseRange(0, int(std::size(kQueries)) - 1)->Unit(benchmark::kMillisecond);

void BM_Count(benchmark::State& state) {
    Corpus& corpus = Corpus::Get();
    HistoryQuery query;
    query.text = QString::fromUtf8(kQueries[state.range(0)].text);
    for (auto _ : state)
        benchmark::DoNotOptimize(corpus.store->Count(query).count);
    state.SetLabel(kQueries[state.range(0)].label);
    state.counters["file_mb"] = double(QFileInfo(corpus.path).size()) / 1e6;
}
BENCHMARK(BM_Count)->Arg(0)->Arg(5)->Unit(benchmark::kMillisecond);

// One new entry (range 0) or the same text again (range 1), each in its own
// transaction, as the recorder and the command line write them.
void BM_RecordOne(benchmark::State& state) {
    Corpus& corpus = Corpus::Get();
    std::mt19937 rng(2);
    const HistoryEntry repeated = Mixed(rng, 0);
    std::vector<double> times, cpuTimes, checkpoints;
    int i = 0;
    for (auto _ : state) {
        const HistoryEntry e = state.range(0) == 0 ? Mixed(rng, kEntries + i++) : repeated;
        const double cpu = ThreadCpuMs();
        times.push_back(Milliseconds([&] { corpus.store->Record(e); }) * 1000);
        cpuTimes.push_back((ThreadCpuMs() - cpu) * 1000);
        // As the recorder does it, between entries.
        if (corpus.store->CheckpointDue()) {
            state.PauseTiming();
            checkpoints.push_back(Milliseconds([&] { corpus.store->Checkpoint(); }));
            state.ResumeTiming();
        }
    }
    state.counters["checkpoints"] = double(checkpoints.size());
    state.counters["checkpoint_ms"] = Median(checkpoints);
    state.SetLabel(state.range(0) == 0 ? "new text" : "same text again");
    state.counters["median_us"] = Median(times);
    state.counters["p99_us"] = Percentile(times, 0.99);
    state.counters["cpu_median_us"] = Median(cpuTimes);
    state.counters["cpu_p99_us"] = Percentile(cpuTimes, 0.99);
}
BENCHMARK(BM_RecordOne)->Arg(0)->Arg(1)->Iterations(2000)->Unit(benchmark::kMicrosecond);

// What the window's thread pays: queuing one entry.
void BM_RecorderQueue(benchmark::State& state) {
    QTemporaryDir dir;
    HistoryRecorder recorder(dir.path() + QStringLiteral("/history.sqlite3"), true);
    std::mt19937 rng(3);
    int i = 0;
    for (auto _ : state)
        recorder.Record(Mixed(rng, i++));
    recorder.Flush(600000);
}
BENCHMARK(BM_RecorderQueue)->Iterations(2000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
