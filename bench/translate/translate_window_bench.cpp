// How long the window is held up when the largest expected answer (10 MB in
// 100,000 entries) arrives: the service parses it and the window fills the box
// on the window's thread.
#include "app/Main.h"
#include "common/OffscreenMain.h"
#include "translate/TranslateService.h"

#include <QApplication>
#include <QBuffer>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

// 100,000 entries of 100 bytes each.
QByteArray MakeAnswer() {
    QByteArray answer = "[[";
    for (int i = 0; i < 100000; ++i) {
        QByteArray entry = "[\"今天天气很好，第" + QByteArray::number(i) +
                           "句\\r\\n\",\"The weather is nice today.\\r\\n\",null,null,1,\"";
        entry += QByteArray(qMax<qsizetype>(0, 100 - 3 - entry.size()), 'x') + "\"],";
        answer += entry;
    }
    answer += "[null]],null,\"en\"]";
    return answer;
}

void BM_AnswerFillsTheBox(benchmark::State& state) {
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("QUILLMATE_DATA_DIR", (home.path() + "/data").toUtf8());
    TForm1 form;
    QByteArray answer = MakeAnswer();
    for (auto _ : state) {
        QBuffer stream(&answer);
        stream.open(QIODevice::ReadOnly);
        form.TranslationFinished(TranslateService::ResultOfAnswer(&stream));
        QCoreApplication::processEvents();
    }
    state.SetBytesProcessed(state.iterations() * answer.size());
    state.counters["answer_MB"] = double(answer.size()) / 1e6;
}
BENCHMARK(BM_AnswerFillsTheBox)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    return RunBenchmarksOffscreen<QApplication>(argc, argv);
}
