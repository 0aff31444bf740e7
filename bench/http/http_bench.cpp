// Transfer component against libcurl on one loopback server:
//  - download of 1 MB and 200 MB bodies, to memory and to a file, with and
//    without a progress handler, next to the curl tool's own time_total;
//  - 500 sequential 100-byte POSTs next to a plain libcurl program that uses a
//    new handle and a new thread per request;
//  - a 100 KB upload carrying "Expect: 100-continue" (as the recognition upload
//    does) to a server that answers 100 and to one that never does, next to the
//    same upload without the header.
// The summary at the end prints the ratios, each against an anchor measured in
// the same run: the progress hand-over against the same download without a
// progress handler, the uploads against the one without Expect.
#include "LoopbackServer.h"
#include "http/auHTTP.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <curl/curl.h>
#include <map>
#include <string>
#include <thread>

namespace {

LoopbackServer* g_server = nullptr;
const QByteArray kSmallBody(100, 'p');
std::map<std::string, double> g_seconds; // mean seconds per iteration, by name

QString OutputFile() {
    return QDir::tempPath() + "/quill-http-bench.bin";
}

QByteArray Body(int size) {
    QByteArray body(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        body[i] = static_cast<char>(i * 131 + 7);
    return body;
}

void Record(benchmark::State& state, const std::string& name, double seconds) {
    const double mean = seconds / static_cast<double>(state.iterations());
    g_seconds[name] = mean;
    state.counters["ms"] = mean * 1000;
}

// One transfer with the component, start to the completion event.
double RunComponent(TauHTTP& http, bool upload = false) {
    QEventLoop loop;
    bool ok = false;
    http.OnDone = [&](QObject*, const QString&, int, QIODevice*) {
        ok = true;
        loop.quit();
    };
    http.OnAnyError = [&](QObject*) { loop.quit(); };
    const auto start = std::chrono::steady_clock::now();
    if (upload)
        http.StartUpload(1);
    else
        http.StartTransfer();
    loop.exec();
    const auto end = std::chrono::steady_clock::now();
    if (!ok)
        std::fprintf(stderr, "transfer failed: %s\n", qPrintable(http.URL));
    return std::chrono::duration<double>(end - start).count();
}

void BM_Component(benchmark::State& state, std::string name, const char* path, bool toFile,
                  bool progress) {
    TauHTTP http;
    http.URL = g_server->url(path);
    if (toFile)
        http.OutputFileName = OutputFile();
    if (progress) {
        http.TransferBufferSize = 40960;
        http.OnProgress = [](QObject*, const QString&, int, int read, int, int, uint8_t, float,
                             QIODevice*) { benchmark::DoNotOptimize(read); };
    }
    double total = 0;
    for (auto _ : state) {
        const double s = RunComponent(http);
        state.SetIterationTime(s);
        total += s;
    }
    QFile::remove(OutputFile());
    Record(state, name, total);
}

// The curl tool's own time for the same URL (process start-up excluded).
void BM_CurlTool(benchmark::State& state, std::string name, const char* path, bool toFile) {
    const std::string out = toFile ? OutputFile().toStdString() : std::string("/dev/null");
    const std::string cmd =
        "curl -s -o " + out + " -w '%{time_total}' " + g_server->url(path).toStdString();
    double total = 0;
    for (auto _ : state) {
        FILE* p = popen(cmd.c_str(), "r");
        double s = 0;
        if (!p || std::fscanf(p, "%lf", &s) != 1)
            state.SkipWithError("curl did not run");
        if (p)
            pclose(p);
        state.SetIterationTime(s);
        total += s;
    }
    if (toFile)
        QFile::remove(OutputFile());
    Record(state, name, total);
}

size_t Sink(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

// Reference: libcurl alone into memory reserved in advance, on this thread.
void BM_PlainCurlToMemory(benchmark::State& state, std::string name, const char* path) {
    const std::string url = g_server->url(path).toStdString();
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        CURL* h = curl_easy_init();
        std::string out;
        curl_easy_setopt(h, CURLOPT_URL, url.c_str());
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_BUFFERSIZE, 102400L);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Sink);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &out);
        curl_easy_perform(h);
        curl_easy_cleanup(h);
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(s);
        total += s;
    }
    Record(state, name, total);
}

void BM_SmallPostComponent(benchmark::State& state) {
    TauHTTP http;
    http.URL = g_server->url("/post");
    http.POSTData = kSmallBody;
    double total = 0;
    for (auto _ : state) {
        const double s = RunComponent(http);
        state.SetIterationTime(s);
        total += s;
    }
    Record(state, "small POST, component", total);
}

void BM_SmallPostPlainCurl(benchmark::State& state) {
    const std::string url = g_server->url("/post").toStdString();
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::thread([&] {
            CURL* h = curl_easy_init();
            std::string out;
            curl_easy_setopt(h, CURLOPT_URL, url.c_str());
            curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
            curl_easy_setopt(h, CURLOPT_POSTFIELDS, kSmallBody.constData());
            curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(kSmallBody.size()));
            curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Sink);
            curl_easy_setopt(h, CURLOPT_WRITEDATA, &out);
            curl_easy_perform(h);
            curl_easy_cleanup(h);
        }).join();
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(s);
        total += s;
    }
    Record(state, "small POST, plain libcurl", total);
}

void BM_Upload(benchmark::State& state, std::string name, const char* path, bool expect) {
    TauHTTP http;
    http.URL = g_server->url(path);
    if (expect)
        http.AddHeaders = {"Expect: 100-continue"};
    http.OnUploadFieldRequest = [](QObject*, uint16_t, QIODevice* stream, QString&, QString&) {
        stream->write(QByteArray(100 * 1024, 'u'));
    };
    double total = 0;
    for (auto _ : state) {
        const double s = RunComponent(http, true);
        state.SetIterationTime(s);
        total += s;
    }
    Record(state, name, total);
}

void Register() {
    struct Size {
        const char* path;
        const char* label;
        int iterations;
    } sizes[] = {{"/1mb", "1MB", 40}, {"/200mb", "200MB", 3}};
    for (const Size& s : sizes) {
        const std::string base = s.label;
        for (bool toFile : {false, true}) {
            const std::string name = base + (toFile ? "/curl tool to file" : "/curl tool");
            benchmark::RegisterBenchmark(name.c_str(), BM_CurlTool, name, s.path, toFile)
                ->Iterations(s.iterations)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        }
        benchmark::RegisterBenchmark((base + "/plain libcurl to memory").c_str(),
                                     BM_PlainCurlToMemory, base + "/plain libcurl to memory",
                                     s.path)
            ->Iterations(s.iterations)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
        for (bool toFile : {false, true})
            for (bool progress : {false, true}) {
                const std::string name = base + (toFile ? "/file" : "/memory") +
                                         (progress ? "/progress 40960" : "/no progress");
                benchmark::RegisterBenchmark(name.c_str(), BM_Component, name, s.path, toFile,
                                             progress)
                    ->Iterations(s.iterations)
                    ->UseManualTime()
                    ->Unit(benchmark::kMillisecond);
            }
    }
    const struct Upload {
        const char* name;
        const char* path;
        bool expect;
    } uploads[] = {{"upload/no Expect", "/upload", false},
                   {"upload/Expect, server sends 100", "/upload", true},
                   {"upload/Expect, server never sends 100", "/upload-no-100", true}};
    for (const Upload& u : uploads)
        benchmark::RegisterBenchmark(u.name, BM_Upload, u.name, u.path, u.expect)
            ->Iterations(10)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("small POST/plain libcurl", BM_SmallPostPlainCurl)
        ->Iterations(500)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("small POST/component", BM_SmallPostComponent)
        ->Iterations(500)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
}

void Summary() {
    std::printf("\nSummary (ratio = curl tool time / component time; goal >= 0.9)\n");
    for (const char* size : {"1MB", "200MB"}) {
        const double tool = g_seconds[std::string(size) + "/curl tool"];
        const double plain = g_seconds[std::string(size) + "/plain libcurl to memory"];
        const double toolFile = g_seconds[std::string(size) + "/curl tool to file"];
        if (toolFile > 0)
            std::printf("  %-32s %9.2f ms  curl %9.2f ms  ratio %.2f (reference)\n",
                        (std::string(size) + "/curl tool to file").c_str(), toolFile * 1000,
                        tool * 1000, tool / toolFile);
        if (plain > 0)
            std::printf("  %-32s %9.2f ms  curl %9.2f ms  ratio %.2f (reference)\n",
                        (std::string(size) + "/plain libcurl to memory").c_str(), plain * 1000,
                        tool * 1000, tool / plain);
        for (const char* variant : {"/memory/no progress", "/file/no progress",
                                    "/memory/progress 40960", "/file/progress 40960"}) {
            const std::string name = std::string(size) + variant;
            const double ours = g_seconds[name];
            if (ours > 0)
                std::printf("  %-32s %9.2f ms  curl %9.2f ms  ratio %.2f\n", name.c_str(),
                            ours * 1000, tool * 1000, tool / ours);
        }
    }
    std::printf("\nProgress hand-over (anchor: the same download without a progress handler)\n");
    for (const char* size : {"1MB", "200MB"}) {
        const double steps = (std::string(size) == "1MB" ? (1 << 20) : (200 << 20)) / 40960.0;
        for (const char* where : {"/memory", "/file"}) {
            const std::string base = std::string(size) + where;
            const double without = g_seconds[base + "/no progress"];
            const double with = g_seconds[base + "/progress 40960"];
            if (without > 0 && with > 0)
                std::printf(
                    "  %-16s progress/no progress %.2f, %.4f ms per step (goal <= 1.5, < 0.03)\n",
                    base.c_str(), with / without, (with - without) * 1000 / steps);
        }
    }
    const double bare = g_seconds["upload/no Expect"];
    if (bare > 0) {
        std::printf("\nUpload of 100 KB (anchor: no Expect header, %.2f ms)\n", bare * 1000);
        for (const char* name :
             {"upload/Expect, server sends 100", "upload/Expect, server never sends 100"})
            if (g_seconds[name] > 0)
                std::printf("  %-40s %8.2f ms  ratio %.2f\n", name, g_seconds[name] * 1000,
                            g_seconds[name] / bare);
    }
    const double plain = g_seconds["small POST, plain libcurl"];
    const double ours = g_seconds["small POST, component"];
    if (plain > 0 && ours > 0)
        std::printf(
            "  small POST: component %.3f ms, plain libcurl %.3f ms, factor %.2f (goal <= 1.5)\n",
            ours * 1000, plain * 1000, ours / plain);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    LoopbackServer server;
    g_server = &server;
    server.on("/1mb", LoopbackScript::Reply(200, Body(1 << 20)));
    server.on("/200mb", LoopbackScript::Reply(200, Body(200 << 20)));
    server.on("/post", LoopbackScript::Text("ok"));
    server.on("/upload", LoopbackScript::Text("ok"));
    LoopbackScript silent = LoopbackScript::Text("ok");
    silent.sendContinue = false;
    server.on("/upload-no-100", silent);
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Summary();
    return 0;
}
