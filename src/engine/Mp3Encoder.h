#pragma once

#include "engine/Speech.h"

#include <cstdint>
#include <memory>
#include <span>

namespace engine {

// Mono 16-bit PCM to a constant-bitrate mp3 at the same sample rate (MPEG-2
// Layer III at 22050 Hz, which browsers and GStreamer all play), with no ID3
// or Info tag. Samples go in as they come, so a long text never holds its
// whole audio uncompressed. A rate MPEG audio has no frames for fails with
// Failure::EngineFailed (LAME itself would quietly resample to a neighbour).
// Encoders on different threads run side by side; only an encoder's start
// and the encode calls of others exclude each other, as LAME refills tables
// they share whenever an encoder starts.
class Mp3Encoder {
public:
    explicit Mp3Encoder(int sampleRate);
    ~Mp3Encoder();
    Mp3Encoder(const Mp3Encoder&) = delete;
    Mp3Encoder& operator=(const Mp3Encoder&) = delete;

    // false once the encoder has failed; Finish() then says why.
    bool Add(std::span<const std::int16_t> samples);
    // The complete file; the encoder takes no samples afterwards.
    SpeechAudio Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

SpeechAudio EncodeMp3(std::span<const std::int16_t> samples, int sampleRate);

} // namespace engine
