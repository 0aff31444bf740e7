#include "engine/Mp3Encoder.h"

#include <algorithm>
#include <lame/lame.h>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

namespace engine {

namespace {

constexpr int kKilobitsPerSecond = 48; // clear speech at 22 kHz; 6 kB a second
// LAME quality 0 (slowest) .. 9: 7 halves the time of 5 and, on formant
// speech, keeps the decoded wave closer to the original (23.7 against 20.4 dB).
constexpr int kQuality = 7;
constexpr std::size_t kChunk = 16384; // samples per lame_encode_buffer call

// LAME's writable globals are few: a log table filled by the first
// lame_init, and the quantiser's power tables (pow20, ipow20, pow43,
// adj43asm), which lame_init_params fills again for every encoder while
// running encoders read them. So starting an encoder excludes encode calls,
// and encode calls only exclude a start; everything else in LAME lives in its
// own encoder.
std::shared_mutex& SharedTables() {
    static std::shared_mutex tables;
    return tables;
}

bool IsMpegRate(int rate) {
    for (int r : {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000}) {
        if (r == rate)
            return true;
    }
    return false;
}

// LAME's worst case for n samples, from lame.h.
std::size_t Room(std::size_t samples) {
    return samples * 5 / 4 + 7200;
}

} // namespace

struct Mp3Encoder::State {
    lame_global_flags* lame = nullptr;
    int sampleRate = 0;
    std::size_t samples = 0;
    std::string mp3;
    std::size_t used = 0;
    Error error;

    void Fail(std::string text) {
        if (!error)
            error = {Failure::EngineFailed, std::move(text)};
    }

    unsigned char* Out(std::size_t room) {
        mp3.resize(used + room);
        return reinterpret_cast<unsigned char*>(mp3.data() + used);
    }
};

Mp3Encoder::Mp3Encoder(int sampleRate) : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.sampleRate = sampleRate;
    if (!IsMpegRate(sampleRate)) {
        s.Fail("mp3 has no frames for " + std::to_string(sampleRate) + " Hz audio");
        return;
    }
    const std::unique_lock writing(SharedTables());
    s.lame = lame_init();
    if (s.lame == nullptr) {
        s.Fail("LAME could not start");
        return;
    }
    lame_set_num_channels(s.lame, 1);
    lame_set_mode(s.lame, MONO);
    lame_set_in_samplerate(s.lame, sampleRate);
    lame_set_out_samplerate(s.lame, sampleRate);
    lame_set_VBR(s.lame, vbr_off);
    lame_set_brate(s.lame, kKilobitsPerSecond);
    lame_set_quality(s.lame, kQuality);
    // Constant bitrate: players work out the length from the size. LAME's Info
    // tag would not fit a 48 kbit/s MPEG-2 frame anyway (it drops it).
    lame_set_bWriteVbrTag(s.lame, 0);
    if (lame_init_params(s.lame) < 0)
        s.Fail("LAME refused the encoder settings");
}

Mp3Encoder::~Mp3Encoder() {
    if (state_->lame != nullptr)
        lame_close(state_->lame);
}

bool Mp3Encoder::Add(std::span<const std::int16_t> samples) {
    State& s = *state_;
    for (std::size_t at = 0; at < samples.size() && !s.error; at += kChunk) {
        const std::size_t n = std::min(kChunk, samples.size() - at);
        const std::int16_t* pcm = samples.data() + at; // mono reads the left channel only
        unsigned char* out = s.Out(Room(n));
        const std::shared_lock reading(SharedTables());
        const int written = lame_encode_buffer(s.lame, pcm, pcm, static_cast<int>(n), out,
                                               static_cast<int>(s.mp3.size() - s.used));
        if (written < 0)
            s.Fail("LAME failed to encode (error " + std::to_string(written) + ")");
        else
            s.used += static_cast<std::size_t>(written);
        s.samples += n;
    }
    return !s.error;
}

SpeechAudio Mp3Encoder::Finish() {
    State& s = *state_;
    // Decoders confirm a frame by the header of the next one, so a stream of a
    // single frame does not play: short audio gets a tenth of a second.
    const std::size_t minimum = static_cast<std::size_t>(s.sampleRate / 10);
    if (!s.error && s.samples < minimum) {
        const std::vector<std::int16_t> silence(minimum - s.samples);
        Add(silence);
    }
    if (!s.error) {
        unsigned char* out = s.Out(Room(0));
        const std::shared_lock reading(SharedTables());
        const int flushed = lame_encode_flush(s.lame, out, static_cast<int>(s.mp3.size() - s.used));
        if (flushed < 0)
            s.Fail("LAME failed to finish (error " + std::to_string(flushed) + ")");
        else
            s.used += static_cast<std::size_t>(flushed);
    }
    if (s.error)
        return {s.error, {}};
    s.mp3.resize(s.used);
    s.error = {Failure::EngineFailed, "the mp3 was already finished"};
    return {{}, std::move(s.mp3)};
}

SpeechAudio EncodeMp3(std::span<const std::int16_t> samples, int sampleRate) {
    Mp3Encoder encoder(sampleRate);
    encoder.Add(samples);
    return encoder.Finish();
}

} // namespace engine
