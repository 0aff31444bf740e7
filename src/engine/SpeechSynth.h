#pragma once

#include "engine/EngineResult.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace engine {

// Receives the sample rate once with no samples before any audio, then mono
// samples as the library makes them; false stops synthesis.
using SampleSink = std::function<bool(int sampleRate, std::span<const std::int16_t>)>;

// espeak-ng in a helper program of ours (quillmate-speech), a fresh one for
// every text: a crash or a hang of the library on a text fails that request
// only, no text changes the state later ones start from, and calls run side
// by side. text must already be speakable (SpeakableText); it is read as
// plain text, never as markup or phoneme codes. voice is an installed voice
// file name ("en-us"). Speech longer than an hour stops with
// Failure::TooLarge, one that takes over a minute with Failure::EngineFailed.
// A sink that says stop is no error.
Error SynthesizeInto(const std::string& text, const std::string& voice, int wordsPerMinute,
                     const SampleSink& sink);

struct SpeechPcm {
    Error error;
    int sampleRate = 0;
    std::vector<std::int16_t> samples;
};

SpeechPcm SynthesizePcm(const std::string& text, const std::string& voice, int wordsPerMinute);

// The names SynthesizeInto accepts as voice, lower case ("cmn-latn-pinyin");
// none when the helper cannot list them.
std::vector<std::string> InstalledVoices();

// The helper program: quillmate-speech beside the running program unless set
// (a program whose helper is elsewhere, such as a test, sets it first).
void SetSpeechHelper(std::filesystem::path program);
std::filesystem::path SpeechHelper();

} // namespace engine
