// SplitText must stay linear in the length of its text (answers of several
// megabytes are split on the window's thread); the complexity fit shows it.
#include "base/TextHelpers.h"
#include "base/Utf8.h"

#include <benchmark/benchmark.h>

namespace {

QByteArray Pieces(int count) {
    QByteArray text;
    text.reserve(count * 8);
    for (int i = 0; i < count; ++i)
        text += "[\"abc\",";
    return text;
}

void BM_SplitText(benchmark::State& state) {
    const QByteArray text = Pieces(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(SplitText(text, "["));
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(BM_SplitText)->RangeMultiplier(4)->Range(1 << 10, 1 << 18)->Complexity();

void BM_SplitTextLongDelimiter(benchmark::State& state) {
    QByteArray text = Pieces(int(state.range(0)));
    text.replace("[", "\",\"");
    for (auto _ : state)
        benchmark::DoNotOptimize(SplitText(text, "\",\""));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SplitTextLongDelimiter)->RangeMultiplier(4)->Range(1 << 10, 1 << 18)->Complexity();

void BM_Utf8RoundTrip(benchmark::State& state) {
    QString text;
    for (int i = 0; i < 100000; ++i)
        text += QStringLiteral("中文 text ");
    for (auto _ : state)
        benchmark::DoNotOptimize(Utf8ToUtf16(Utf16ToUtf8(text)));
    state.SetBytesProcessed(state.iterations() * text.size() * 2);
}
BENCHMARK(BM_Utf8RoundTrip);

void BM_PercentEncode(benchmark::State& state) {
    const QByteArray bytes = Utf16ToUtf8(QString(100000, QChar(0x4E2D)));
    for (auto _ : state)
        benchmark::DoNotOptimize(PercentEncode(bytes));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_PercentEncode);

} // namespace

BENCHMARK_MAIN();
