#pragma once

#include "engine/EngineResult.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace engine {

// Receives mono samples as the library makes them; false stops synthesis.
using SampleSink = std::function<bool(std::span<const std::int16_t>)>;

// espeak-ng in memory: never opens a sound device. The library has one global
// state, initialised once; each text is then read in a forked copy of the
// process (SpeechProcess), so a crash of the library on a text fails that
// request only and no text changes the state later ones start from. text must
// already be speakable (SpeakableText); it is read as plain text, never as
// markup or phoneme codes. voice is an installed voice file name ("en-us").
// Speech longer than an hour stops with Failure::TooLarge, one that takes over
// a minute with Failure::EngineFailed. A sink that says stop is no error.
Error SynthesizeInto(const std::string& text, const std::string& voice, int wordsPerMinute,
                     const SampleSink& sink);

// The rate of every sample the library makes; 0 if it could not start.
int SpeechSampleRate();

struct SpeechPcm {
    Error error;
    int sampleRate = 0;
    std::vector<std::int16_t> samples;
};

SpeechPcm SynthesizePcm(const std::string& text, const std::string& voice, int wordsPerMinute);

// The names SynthesizeInto accepts as voice, lower case ("cmn-latn-pinyin").
std::vector<std::string> InstalledVoices();

} // namespace engine
