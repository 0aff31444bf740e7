// Milliseconds from text to a complete mp3, against the command-line pipeline
// (espeak-ng -w, then lame) on the same text in the same run; and four
// requests at once, each on its own thread as the server's workers take them,
// against one request and against four in turn.
#include "engine/Mp3Encoder.h"
#include "engine/Speech.h"
#include "engine/SpeechSynth.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

struct Sample {
    const char* name;
    const char* code;
    const char* voice;
    const char* text;
};

// 20 words (26 syllables), and 24 Chinese syllables.
const Sample kSamples[] = {
    {"en", "en", "en-us",
     "The quick brown fox jumps over the lazy dog while the farmer watches from the porch and "
     "drinks his coffee."},
    {"zh", "zh", "cmn-latn-pinyin", "今天早上我和朋友一起去公园散步，然后在湖边吃了午饭。"},
};

std::filesystem::path WorkDir() {
    static const std::filesystem::path dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "speechbench.XXXXXX");
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        return std::filesystem::path(pattern);
    }();
    return dir;
}

bool Run(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    int status = 0;
    return spawned == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

void Pipeline(benchmark::State& state, const Sample& s) {
    const auto dir = WorkDir();
    const std::string text = dir / (std::string(s.name) + ".txt");
    const std::string wav = dir / (std::string(s.name) + ".wav");
    const std::string mp3 = dir / (std::string(s.name) + ".mp3");
    std::ofstream(text) << s.text;
    for (auto _ : state) {
        if (!Run({"espeak-ng", "-v", s.voice, "-s", "175", "-w", wav, "-f", text}) ||
            !Run({"lame", "--quiet", "-m", "m", "--cbr", "-b", "48", "--resample", "22.05", wav,
                  mp3})) {
            state.SkipWithError("espeak-ng or lame failed");
            return;
        }
    }
}

void Whole(benchmark::State& state, const Sample& s) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        const engine::SpeechAudio audio = engine::Synthesize(s.text, s.code, 5);
        if (audio.error) {
            state.SkipWithError(audio.error.text.c_str());
            return;
        }
        bytes = audio.mp3.size();
    }
    state.counters["mp3_bytes"] = double(bytes);
}

constexpr int kRequests = 4;

// When the first and the last of the four are done tells whether they ran
// side by side or took turns (then one request's time apart each).
void FourAtOnce(benchmark::State& state, const Sample& s) {
    using Clock = std::chrono::steady_clock;
    double first = 0, last = 0;
    for (auto _ : state) {
        std::vector<engine::SpeechAudio> audio(kRequests);
        std::vector<Clock::time_point> done(kRequests);
        std::vector<std::thread> workers;
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < kRequests; ++i)
            workers.emplace_back([&, i] {
                audio[i] = engine::Synthesize(s.text, s.code, 5);
                done[i] = Clock::now();
            });
        for (std::thread& w : workers)
            w.join();
        for (const auto& a : audio) {
            if (a.error) {
                state.SkipWithError(a.error.text.c_str());
                return;
            }
        }
        const auto [earliest, latest] = std::minmax_element(done.begin(), done.end());
        first += std::chrono::duration<double, std::milli>(*earliest - start).count();
        last += std::chrono::duration<double, std::milli>(*latest - start).count();
    }
    state.counters["first_ms"] = first / double(state.iterations());
    state.counters["last_ms"] = last / double(state.iterations());
}

void FourInTurn(benchmark::State& state, const Sample& s) {
    for (auto _ : state) {
        for (int i = 0; i < kRequests; ++i) {
            const engine::SpeechAudio audio = engine::Synthesize(s.text, s.code, 5);
            if (audio.error) {
                state.SkipWithError(audio.error.text.c_str());
                return;
            }
        }
    }
}

// Starting the helper, loading the voice and synthesis, samples kept in memory.
void Synthesis(benchmark::State& state, const Sample& s) {
    for (auto _ : state) {
        const engine::SpeechPcm pcm = engine::SynthesizePcm(s.text, s.voice, 175);
        if (pcm.error) {
            state.SkipWithError(pcm.error.text.c_str());
            return;
        }
        benchmark::DoNotOptimize(pcm.samples.data());
    }
}

// What every request pays before its text: starting the synthesis and
// loading the voice, with a one-letter text.
void Startup(benchmark::State& state, const Sample& s) {
    for (auto _ : state) {
        const engine::SpeechPcm pcm = engine::SynthesizePcm("a", s.voice, 175);
        if (pcm.error) {
            state.SkipWithError(pcm.error.text.c_str());
            return;
        }
        benchmark::DoNotOptimize(pcm.samples.data());
    }
}

void Encoding(benchmark::State& state, const Sample& s) {
    const engine::SpeechPcm pcm = engine::SynthesizePcm(s.text, s.voice, 175);
    for (auto _ : state) {
        const engine::SpeechAudio audio = engine::EncodeMp3(pcm.samples, pcm.sampleRate);
        benchmark::DoNotOptimize(audio.mp3.data());
    }
    state.counters["audio_s"] = double(pcm.samples.size()) / pcm.sampleRate;
}

// The server holds recognition models: what it costs to start a synthesis
// must not grow with what the process holds (as the page tables a fork
// copies do).
void WholeInBigProcess(benchmark::State& state, const Sample& s) {
    static std::vector<char> ballast(std::size_t(512) << 20, 1);
    benchmark::DoNotOptimize(ballast.data());
    Whole(state, s);
}

// Prints each measurement's median against the pipeline's on the same text.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Aggregate || r.aggregate_name != "median")
                continue;
            medians_[r.run_name.function_name] = r.GetAdjustedRealTime();
            for (const char* counter : {"first_ms", "last_ms"})
                if (const auto c = r.counters.find(counter); c != r.counters.end())
                    medians_[r.run_name.function_name + "/" + counter] = c->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nFour requests against one request on the same text (%u cores):\n",
                    std::thread::hardware_concurrency());
        for (const Sample& s : kSamples) {
            const auto one = medians_.find(std::string("synthesize/") + s.name);
            if (one == medians_.end() || one->second <= 0)
                continue;
            for (const char* kind : {"four_at_once", "four_in_turn"}) {
                const auto m = medians_.find(std::string(kind) + "/" + s.name);
                if (m != medians_.end())
                    std::printf("  %-14s %s  %7.2f ms  %.2f x one request (%.2f ms)\n", kind,
                                s.name, m->second, m->second / one->second, one->second);
            }
            const std::string atOnce = std::string("four_at_once/") + s.name;
            const auto first = medians_.find(atOnce + "/first_ms");
            const auto last = medians_.find(atOnce + "/last_ms");
            if (first != medians_.end() && last != medians_.end())
                std::printf("  four_at_once %s: the first done after %.2f ms (%.2f x one), the "
                            "last after %.2f ms (%.2f x the first)\n",
                            s.name, first->second, first->second / one->second, last->second,
                            last->second / first->second);
        }
        std::printf("\nMedian against the espeak-ng + lame pipeline on the same text:\n");
        for (const Sample& s : kSamples) {
            const auto anchor = medians_.find(std::string("pipeline/") + s.name);
            if (anchor == medians_.end() || anchor->second <= 0)
                continue;
            for (const char* kind :
                 {"synthesize", "synthesis", "start", "encoding", "synthesize_512MB"}) {
                const auto m = medians_.find(std::string(kind) + "/" + s.name);
                if (m != medians_.end())
                    std::printf("  %-14s %s  %7.2f ms  %.3f x pipeline (%.2f ms)\n", kind, s.name,
                                m->second, m->second / anchor->second, anchor->second);
            }
        }
    }

private:
    std::map<std::string, double> medians_;
};

} // namespace

int main(int argc, char** argv) {
    engine::SetSpeechHelper(QUILLMATE_SPEECH_PATH);
    using Measure = void (*)(benchmark::State&, const Sample&);
    const std::pair<const char*, Measure> measures[] = {
        {"pipeline/", &Pipeline},       {"synthesize/", &Whole},  {"synthesis/", &Synthesis},
        {"start/", &Startup},           {"encoding/", &Encoding}, {"four_at_once/", &FourAtOnce},
        {"four_in_turn/", &FourInTurn},
    };
    // Last: its memory stays for the rest of the run.
    const std::pair<const char*, Measure> last = {"synthesize_512MB/", &WholeInBigProcess};
    for (const Sample& s : kSamples) {
        for (const auto& [kind, measure] : measures) {
            benchmark::RegisterBenchmark((kind + std::string(s.name)).c_str(), measure, s)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->MinTime(0.2)
                ->Repetitions(9)
                ->ReportAggregatesOnly(true);
        }
    }
    for (const Sample& s : kSamples) {
        benchmark::RegisterBenchmark((last.first + std::string(s.name)).c_str(), last.second, s)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->MinTime(0.2)
            ->Repetitions(9)
            ->ReportAggregatesOnly(true);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::filesystem::remove_all(WorkDir());
}
