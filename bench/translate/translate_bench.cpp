// The largest answers the window is expected to take: 10 MB in 100,000
// entries. Parsing runs on the window's thread, so it must stay far below a
// second; the goal is at least 200 MB/s.
#include "base/Utf8.h"
#include "translate/TranslationResponse.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kEntries = 100000;
constexpr qsizetype kTargetSize = 10 * 1000 * 1000;

// Entries shaped like the service's: a translated sentence with an escaped
// line break at its end on every third entry, its source, and the tail.
QByteArray MakeAnswer() {
    const QByteArray sentences[] = {"今天天气很好，我们去公园散步吧。", "早上好",
                                    "请在会议开始之前把报告发给我。", "谢谢你的帮助"};
    const QByteArray sources[] = {"The weather is nice today, let us walk in the park.",
                                  "Good morning", "Please send me the report before the meeting.",
                                  "Thank you for your help"};
    QByteArray answer = "[[";
    answer.reserve(kTargetSize + 4096);
    for (int i = 0; i < kEntries; ++i) {
        const int k = i % 4;
        answer += "[\"";
        answer += sentences[k];
        if (i % 3 == 0)
            answer += "\\r\\n";
        answer += "\",\"";
        answer += sources[k];
        answer += "\",null,null,1";
        // Pad so that the whole answer is close to 10 MB.
        const qsizetype want = kTargetSize * (i + 1) / kEntries - 64;
        if (answer.size() < want)
            answer += ",\"" + QByteArray(want - answer.size(), 'x') + "\"";
        answer += "],";
    }
    answer += "[null,null,\"Zaoshang hao\"]],null,\"en\"]";
    return answer;
}

const QByteArray& Answer() {
    static const QByteArray answer = MakeAnswer();
    return answer;
}

void BM_ParseTranslationResponse(benchmark::State& state) {
    const QByteArray& answer = Answer();
    for (auto _ : state) {
        QByteArray lines = ParseTranslationResponse(answer);
        benchmark::DoNotOptimize(lines.data());
    }
    state.SetBytesProcessed(state.iterations() * answer.size());
    state.counters["entries"] = kEntries;
    state.counters["answer_MB"] = double(answer.size()) / 1e6;
}
BENCHMARK(BM_ParseTranslationResponse)->Unit(benchmark::kMillisecond);

// What the done handler does before the text reaches the box.
void BM_DoneHandlerText(benchmark::State& state) {
    const QByteArray& answer = Answer();
    for (auto _ : state) {
        QString text = Utf8ToUtf16(ParseTranslationResponse(StringListText(answer)));
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(state.iterations() * answer.size());
}
BENCHMARK(BM_DoneHandlerText)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
