// quill_storage_bench: MB/s are bytes of decoded data per second.
#include "app/CursorFiles.h"
#include "common/OffscreenMain.h"
#include "storage/FSSFPack.h"
#include "storage/FileStorage.h"
#include "toolkit/AnimatedCursor.h"
#include "toolkit/CursorTable.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstring>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

QByteArray Container() {
    static const QByteArray data = [] {
        QFile f(QStringLiteral(QUILL_STORED_DATA_FILE));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    return data;
}

// The decoded files of the program's container, back to back.
Bytes ProgramFiles() {
    TFileStorage storage;
    storage.ReadStoredData(Container());
    Bytes out;
    for (const auto& f : storage.Files)
        out.insert(out.end(), f->Data.begin(), f->Data.end());
    return out;
}

Bytes Random(size_t n) {
    std::mt19937 rng(1);
    Bytes b(n);
    for (auto& v : b)
        v = uint8_t(rng());
    return b;
}

Bytes TextLike(size_t n) {
    static const char* words[] = {"the ",        "translation ", "of ",       "a ",
                                  "window ",     "\r\n",         "text, ",    "and ",
                                  "recognised ", "lines. ",      "Quillmate "};
    std::mt19937 rng(2);
    Bytes b;
    while (b.size() < n) {
        const char* w = words[rng() % 11];
        b.insert(b.end(), w, w + std::strlen(w));
    }
    b.resize(n);
    return b;
}

Bytes MostlyRuns(size_t n) {
    std::mt19937 rng(3);
    Bytes b;
    while (b.size() < n) {
        b.insert(b.end(), 20 + rng() % 400, uint8_t(rng() % 4));
        for (int k = int(rng() % 12); k > 0; --k)
            b.push_back(uint8_t(rng()));
    }
    b.resize(n);
    return b;
}

Bytes Kind(int kind) {
    switch (kind) {
    case 0:
        return ProgramFiles();
    case 1:
        return Random(1 << 20);
    case 2:
        return TextLike(1 << 20);
    default:
        return MostlyRuns(1 << 20);
    }
}

const char* const kNames[] = {"program", "random", "text", "runs"};

void BM_Unpack(benchmark::State& state) {
    const Bytes data = Kind(int(state.range(0)));
    Bytes packed(size_t(FSSFPack::PackBufferBound(int64_t(data.size()))));
    packed.resize(size_t(FSSFPack::PackBuffer(data.data(), int32_t(data.size()), packed.data())));
    Bytes out(data.size(), 1); // touched before timing
    for (auto _ : state) {
        const int64_t n = FSSFPack::UnpackBuffer(packed.data() + 4, int64_t(packed.size()) - 4,
                                                 out.data(), int64_t(out.size()));
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    if (out != data)
        state.SkipWithError("round trip failed");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
    state.SetLabel(kNames[state.range(0)]);
    state.counters["ratio"] = double(packed.size()) / double(data.size());
}

void BM_Pack(benchmark::State& state) {
    const Bytes data = Kind(int(state.range(0)));
    Bytes packed(size_t(FSSFPack::PackBufferBound(int64_t(data.size()))), 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            FSSFPack::PackBuffer(data.data(), int32_t(data.size()), packed.data()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
    state.SetLabel(kNames[state.range(0)]);
}

void BM_Memcpy(benchmark::State& state) {
    const Bytes data = Kind(int(state.range(0)));
    Bytes out(data.size(), 1);
    for (auto _ : state) {
        std::memcpy(out.data(), data.data(), data.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
    state.SetLabel(kNames[state.range(0)]);
}

// What the program does at start: a fresh storage decodes the whole container
// into fresh memory (page faults included).
void BM_StartupDecode(benchmark::State& state) {
    const QByteArray container = Container();
    int64_t decoded = 0;
    for (auto _ : state) {
        TFileStorage storage;
        if (storage.ReadStoredData(container) != TStoredDataResult::Ok)
            state.SkipWithError("container damaged");
        decoded = storage.DataSize();
        benchmark::DoNotOptimize(storage.Files.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * decoded);
    state.counters["decoded_bytes"] = double(decoded);
    state.counters["container_bytes"] = double(container.size());
}

// The cursor step of a later start: both files exist, both are decoded and
// installed. Showing a cursor for the first time costs its pixmaps.
void BM_CursorStep(benchmark::State& state) {
    TFileStorage storage;
    storage.ReadStoredData(Container());
    QTemporaryDir dir;
    InstallCursorFiles(&storage, dir.path());
    for (auto _ : state) {
        InstallCursorFiles(&storage, dir.path());
        if (state.range(0)) {
            benchmark::DoNotOptimize(CursorSlotCursor(crAnimatedBusy)->CurrentCursor());
            benchmark::DoNotOptimize(CursorSlotCursor(crAnimatedArrow)->CurrentCursor());
        }
    }
    state.SetLabel(state.range(0) ? "install + first frames" : "install");
    ClearCursorSlots();
}

void BM_CursorFirstStart(benchmark::State& state) {
    TFileStorage storage;
    storage.ReadStoredData(Container());
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        state.ResumeTiming();
        InstallCursorFiles(&storage, dir.path());
    }
    ClearCursorSlots();
}

} // namespace

BENCHMARK(BM_Unpack)->DenseRange(0, 3);
BENCHMARK(BM_Pack)->DenseRange(0, 3);
BENCHMARK(BM_Memcpy)->DenseRange(0, 3);
BENCHMARK(BM_StartupDecode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CursorStep)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CursorFirstStart)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    return RunBenchmarksOffscreen<QApplication>(argc, argv);
}
