#include "engine/SpeechSynth.h"

#include "engine/SpeechProcess.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <espeak-ng/speak_lib.h>
#include <mutex>
#include <unistd.h>

namespace engine {

namespace {

// The longest Chinese text a request may carry lasts 57 minutes at speed 0; a
// text of digits could go on for hours.
constexpr int kMaxSeconds = 60 * 60;
// The longest text takes about 8 s; a hang must not hold a worker for good.
constexpr std::chrono::seconds kDeadline{60};

// Exit codes of the synthesis copy.
constexpr int kSynthFailed = 1;
constexpr int kPipeFailed = 2;
constexpr int kNoVoice = 3;

struct Engine {
    std::once_flag once;
    std::mutex mutex;
    int sampleRate = 0; // 0: the library did not start
};

Engine& TheEngine() {
    static Engine engine;
    return engine;
}

// Runs in the copy: samples go down the pipe as they come.
int ToPipe(short* wav, int count, espeak_EVENT* events) {
    if (wav == nullptr || count <= 0)
        return 0;
    const int out = *static_cast<int*>(events->user_data);
    const char* bytes = reinterpret_cast<const char*>(wav);
    std::size_t left = static_cast<std::size_t>(count) * sizeof(short);
    while (left > 0) {
        const ssize_t n = write(out, bytes, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *static_cast<int*>(events->user_data) = -1;
            return 1;
        }
        bytes += n;
        left -= static_cast<std::size_t>(n);
    }
    return 0;
}

int SynthesizeToPipe(const std::string& text, const std::string& voice, int wordsPerMinute,
                     int out) {
    // Here, not in the parent: the library queues a command for each rate
    // change that only a synthesis drains; after 170 without one, every later
    // text stops after its first clause.
    if (espeak_SetVoiceByName(voice.c_str()) != EE_OK)
        return kNoVoice;
    espeak_SetParameter(espeakRATE, wordsPerMinute, 0);
    int target = out;
    espeak_SetSynthCallback(&ToPipe);
    // No espeakSSML, no espeakPHONEMES: "<speak>" and "[[...]]" are words to read.
    const espeak_ERROR result = espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0,
                                             espeakCHARS_UTF8, nullptr, &target);
    if (target < 0)
        return kPipeFailed;
    return result == EE_OK ? 0 : kSynthFailed;
}

// Returns the engine locked, or unlocked when the library could not start.
std::unique_lock<std::mutex> Started(Engine& engine) {
    std::call_once(engine.once, [&engine] {
        // DONT_EXIT: without it a missing data folder ends the whole process.
        const int rate =
            espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
        if (rate > 0)
            engine.sampleRate = rate;
    });
    if (engine.sampleRate <= 0)
        return {};
    return std::unique_lock(engine.mutex);
}

Error EngineFailed(std::string text) {
    return {Failure::EngineFailed, std::move(text)};
}

const Error kNotStarted = {Failure::EngineFailed,
                           "espeak-ng could not start: its voice data (espeak-ng-data) is missing"};

} // namespace

Error SynthesizeInto(const std::string& text, const std::string& voice, int wordsPerMinute,
                     const SampleSink& sink) {
    Engine& engine = TheEngine();
    auto lock = Started(engine);
    if (!lock)
        return kNotStarted;
    // The text is read in a copy of the process: espeak-ng 1.51 crashes on
    // some texts ("( `" with the Vietnamese voice), and whatever a text does to
    // the library's state dies with the copy. Copies run side by side; only
    // forking takes turns.
    SpeechProcess copy([&](int out) { return SynthesizeToPipe(text, voice, wordsPerMinute, out); });
    const std::size_t limit = static_cast<std::size_t>(engine.sampleRate) * kMaxSeconds;
    lock.unlock();
    if (!copy.started())
        return EngineFailed("could not start a process for espeak-ng");

    std::size_t count = 0;
    bool overflow = false;
    std::string pending; // a read may end inside a sample
    std::vector<std::int16_t> samples;
    const auto outcome = copy.Drain(
        [&](std::span<const char> bytes) {
            pending.append(bytes.data(), bytes.size());
            samples.resize(pending.size() / 2);
            std::memcpy(samples.data(), pending.data(), samples.size() * 2);
            pending.erase(0, samples.size() * 2);
            count += samples.size();
            if (count > limit) {
                overflow = true;
                return false;
            }
            return sink(samples);
        },
        kDeadline);
    if (overflow)
        return {Failure::TooLarge, "the speech would last over an hour"};
    if (outcome.stopped)
        return {};
    if (outcome.timedOut)
        return EngineFailed("espeak-ng did not finish within a minute");
    if (!outcome.finished)
        return EngineFailed("espeak-ng crashed on this text (signal " +
                            std::to_string(outcome.signal) + ")");
    if (outcome.code == kNoVoice)
        return EngineFailed("espeak-ng has no voice " + voice);
    if (outcome.code != 0)
        return EngineFailed(outcome.code == kSynthFailed ? "espeak-ng failed to synthesize"
                                                         : "espeak-ng could not pass on its audio");
    return {};
}

int SpeechSampleRate() {
    Engine& engine = TheEngine();
    return Started(engine) ? engine.sampleRate : 0;
}

SpeechPcm SynthesizePcm(const std::string& text, const std::string& voice, int wordsPerMinute) {
    SpeechPcm pcm;
    pcm.error = SynthesizeInto(text, voice, wordsPerMinute, [&pcm](auto samples) {
        pcm.samples.insert(pcm.samples.end(), samples.begin(), samples.end());
        return true;
    });
    if (pcm.error)
        pcm.samples.clear();
    else
        pcm.sampleRate = SpeechSampleRate();
    return pcm;
}

std::vector<std::string> InstalledVoices() {
    std::vector<std::string> names;
    const auto lock = Started(TheEngine());
    if (!lock)
        return names;
    for (const espeak_VOICE** v = espeak_ListVoices(nullptr); v != nullptr && *v != nullptr; ++v) {
        // "sit/cmn-Latn-pinyin": espeak_SetVoiceByName takes the file name.
        std::string name = (*v)->identifier;
        name.erase(0, name.rfind('/') + 1);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        names.push_back(std::move(name));
    }
    return names;
}

} // namespace engine
