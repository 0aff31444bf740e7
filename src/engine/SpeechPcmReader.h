#pragma once

#include "engine/SpeechSynth.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace engine {

// Turns the speech helper's output into a sink's calls: the header's rate
// first, then whole samples (a read may end inside one), up to maxSeconds of
// them. Take returns false once reading should stop: the sink said so, the
// header was no header, or the audio ran over.
class SpeechPcmReader {
public:
    SpeechPcmReader(const SampleSink& sink, std::size_t maxSeconds)
        : sink_(sink), maxSeconds_(maxSeconds) {}

    bool Take(std::span<const char> bytes);

    bool sawHeader() const { return rate_ != 0; }
    bool badHeader() const { return badHeader_; }
    bool overflow() const { return overflow_; }

private:
    const SampleSink& sink_;
    std::size_t maxSeconds_;
    int rate_ = 0;
    std::size_t limit_ = 0;
    std::size_t count_ = 0;
    bool badHeader_ = false;
    bool overflow_ = false;
    std::string pending_;
    std::vector<std::int16_t> samples_;
};

} // namespace engine
