#include "engine/SpeechSynth.h"

#include "engine/SpeechPcmReader.h"
#include "engine/SpeechProcess.h"
#include "speechwire/SpeechWire.h"

#include <chrono>
#include <cstddef>
#include <mutex>
#include <system_error>

namespace engine {

namespace {

// The longest Chinese text a request may carry lasts 57 minutes at speed 0; a
// text of digits could go on for hours.
constexpr std::size_t kMaxSeconds = 60 * 60;
// The longest text takes about 8 s; a hang must not hold a worker for good.
constexpr std::chrono::seconds kDeadline{60};
// The voice list is a few kilobytes.
constexpr std::size_t kMaxListing = 1 << 20;

struct HelperPath {
    std::mutex mutex;
    std::filesystem::path program;
};

HelperPath& TheHelper() {
    static HelperPath helper;
    return helper;
}

std::filesystem::path BesideThisProgram() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return (error ? std::filesystem::path(".") : exe.parent_path()) / speechwire::kHelperName;
}

Error EngineFailed(std::string text) {
    return {Failure::EngineFailed, std::move(text)};
}

Error NotStarted(const std::filesystem::path& helper, int error) {
    return EngineFailed("could not start the speech helper " + helper.string() + ": " +
                        std::generic_category().message(error));
}

const Error kNoHeader = {Failure::EngineFailed, "the speech helper sent no audio header"};

Error ExitError(int code, const std::string& voice) {
    switch (code) {
    case speechwire::kNoVoice:
        return EngineFailed("espeak-ng has no voice " + voice);
    case speechwire::kNotStarted:
        return EngineFailed(
            "espeak-ng could not start: its voice data (espeak-ng-data) is missing");
    case speechwire::kSynthFailed:
        return EngineFailed("espeak-ng failed to synthesize");
    case speechwire::kPipeFailed:
        return EngineFailed("espeak-ng could not pass on its audio");
    case speechwire::kUsage:
        return EngineFailed("the speech helper refused its arguments");
    default:
        return EngineFailed("the speech helper failed (exit code " + std::to_string(code) + ")");
    }
}

} // namespace

Error SynthesizeInto(const std::string& text, const std::string& voice, int wordsPerMinute,
                     const SampleSink& sink) {
    const std::filesystem::path helper = SpeechHelper();
    SpeechProcess process(helper, {voice, std::to_string(wordsPerMinute)}, text);
    if (!process.started())
        return NotStarted(helper, process.startError());
    SpeechPcmReader reader(sink, kMaxSeconds);
    const auto outcome = process.Drain(
        [&reader](std::span<const char> bytes) { return reader.Take(bytes); }, kDeadline);
    if (reader.badHeader())
        return kNoHeader;
    if (reader.overflow())
        return {Failure::TooLarge, "the speech would last over an hour"};
    if (outcome.stopped)
        return {};
    if (outcome.timedOut)
        return EngineFailed("espeak-ng did not finish within a minute");
    if (!outcome.finished)
        return EngineFailed("espeak-ng crashed on this text (signal " +
                            std::to_string(outcome.signal) + ")");
    if (outcome.code != speechwire::kDone)
        return ExitError(outcome.code, voice);
    return reader.sawHeader() ? Error{} : kNoHeader;
}

SpeechPcm SynthesizePcm(const std::string& text, const std::string& voice, int wordsPerMinute) {
    SpeechPcm pcm;
    pcm.error = SynthesizeInto(text, voice, wordsPerMinute, [&pcm](int rate, auto samples) {
        pcm.sampleRate = rate;
        pcm.samples.insert(pcm.samples.end(), samples.begin(), samples.end());
        return true;
    });
    if (pcm.error) {
        pcm.sampleRate = 0;
        pcm.samples.clear();
    }
    return pcm;
}

std::vector<std::string> InstalledVoices() {
    SpeechProcess process(SpeechHelper(), {speechwire::kListVoices}, {});
    std::string listing;
    const auto outcome = process.Drain(
        [&listing](std::span<const char> bytes) {
            listing.append(bytes.data(), bytes.size());
            return listing.size() <= kMaxListing;
        },
        kDeadline);
    std::vector<std::string> names;
    if (!outcome.finished || outcome.code != speechwire::kDone)
        return names;
    for (std::size_t at = 0, end; (end = listing.find('\n', at)) != std::string::npos;
         at = end + 1) {
        if (end > at)
            names.push_back(listing.substr(at, end - at));
    }
    return names;
}

void SetSpeechHelper(std::filesystem::path program) {
    HelperPath& helper = TheHelper();
    const std::lock_guard lock(helper.mutex);
    helper.program = std::move(program);
}

std::filesystem::path SpeechHelper() {
    HelperPath& helper = TheHelper();
    const std::lock_guard lock(helper.mutex);
    if (helper.program.empty())
        helper.program = BesideThisProgram();
    return helper.program;
}

} // namespace engine
