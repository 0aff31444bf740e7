// Time to the translated text when the first engine of the chain fails, beside
// the second engine answering alone, measured in the same run: the first one
// refuses the connection, answers 429, or sits behind a host that never
// completes the connection (a full backlog drops the handshake). Goals: a
// refusal or a 429 costs under 20 ms more than the second alone; the host
// that never connects costs no more than the chain's connect limit (5 s).
// Every translation starts without rests, as the first one of a session does.
#include "ServiceStandIn.h"
#include "StalledListener.h"
#include "translate/TranslateService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

constexpr char kLibrePath[] = "/libre/translate";

struct Setup {
    Setup() {
        standIn.SetAnswer(kTranslatePath, StandInReply("", 429));
        standIn.SetAnswer(kLibrePath, StandInReply(R"({"translatedText":"早上好"})", 200,
                                                   {{"Content-Type", "application/json"}}));
        std::optional<ServiceStandIn> gone(std::in_place);
        refusedUrl = gone->Url(u"/translate_a/single");
    }
    ServiceStandIn standIn;
    StalledListener stalled;
    QTemporaryDir dir;
    QString refusedUrl;
};

Setup& Shared() {
    static Setup setup;
    return setup;
}

// The chain with its first engine at firstUrl (none: the second alone).
TranslateConfig Chain(std::optional<QString> firstUrl) {
    Setup& s = Shared();
    TranslateConfig config;
    if (firstUrl) {
        EngineSettings google;
        google.name = "google";
        google.url = *firstUrl;
        config.engines << google;
    }
    EngineSettings libre;
    libre.name = "libretranslate";
    libre.url = s.standIn.Url(u"/libre");
    config.engines << libre;
    config.restsFile = s.dir.filePath("rests");
    return config;
}

// Milliseconds to the translated text; negative when it did not arrive.
double TimeOne(TranslateService& service) {
    QFile::remove(Shared().dir.filePath("rests"));
    QEventLoop loop;
    bool translated = false;
    service.OnFinished = [&](const TranslateResult& r) {
        translated = r.engine == QLatin1String("LibreTranslate");
        loop.quit();
    };
    QElapsedTimer timer;
    timer.start();
    if (!service.Start("en", "zh-CN", u"Good morning"))
        return -1;
    loop.exec();
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    return translated ? ms : -1;
}

double MeanOfSecondAlone(int rounds) {
    TranslateService service(Chain(std::nullopt));
    double total = 0;
    for (int i = 0; i < rounds; ++i)
        total += TimeOne(service);
    return total / rounds;
}

void RunChain(benchmark::State& state, const QString& firstUrl) {
    const double anchor = MeanOfSecondAlone(20);
    TranslateService service(Chain(firstUrl));
    double total = 0;
    for (auto _ : state) {
        const double ms = TimeOne(service);
        if (ms < 0) {
            state.SkipWithError("the second engine did not translate");
            return;
        }
        total += ms;
        state.SetIterationTime(ms / 1e3);
    }
    const double mean = total / double(state.iterations());
    state.counters["second_alone_ms"] = anchor;
    state.counters["extra_ms"] = mean - anchor;
    state.counters["ratio"] = mean / anchor;
}

void BM_SecondEngineAlone(benchmark::State& state) {
    TranslateService service(Chain(std::nullopt));
    // The first transfers of a process also open libcurl and warm its caches.
    for (int i = 0; i < 5; ++i)
        TimeOne(service);
    for (auto _ : state)
        state.SetIterationTime(TimeOne(service) / 1e3);
}
BENCHMARK(BM_SecondEngineAlone)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_FirstRefusesTheConnection(benchmark::State& state) {
    RunChain(state, Shared().refusedUrl);
}
BENCHMARK(BM_FirstRefusesTheConnection)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(50);

void BM_FirstAnswers429(benchmark::State& state) {
    RunChain(state, Shared().standIn.Url(u"/translate_a/single"));
}
BENCHMARK(BM_FirstAnswers429)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_FirstHostNeverConnects(benchmark::State& state) {
    if (!Shared().stalled.Stalls()) {
        state.SkipWithError("the listener's backlog could not be filled");
        return;
    }
    RunChain(state,
             QStringLiteral("http://127.0.0.1:%1/translate_a/single").arg(Shared().stalled.Port()));
    state.counters["connect_limit_ms"] = kChainConnectLimitMs;
}
BENCHMARK(BM_FirstHostNeverConnects)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
