#include "engine/SpeechPcmReader.h"

#include "speechwire/SpeechWire.h"

#include <cstring>

namespace engine {

bool SpeechPcmReader::Take(std::span<const char> bytes) {
    pending_.append(bytes.data(), bytes.size());
    if (rate_ == 0) {
        if (pending_.size() < speechwire::kHeaderSize)
            return true;
        rate_ = speechwire::ReadHeader(std::span<const char, speechwire::kHeaderSize>(
            pending_.data(), speechwire::kHeaderSize));
        if (rate_ == 0) {
            badHeader_ = true;
            return false;
        }
        pending_.erase(0, speechwire::kHeaderSize);
        limit_ = static_cast<std::size_t>(rate_) * maxSeconds_;
        if (!sink_(rate_, {}))
            return false;
    }
    samples_.resize(pending_.size() / sizeof(std::int16_t));
    if (samples_.empty())
        return true;
    const std::size_t whole = samples_.size() * sizeof(std::int16_t);
    std::memcpy(samples_.data(), pending_.data(), whole);
    pending_.erase(0, whole);
    count_ += samples_.size();
    if (count_ > limit_) {
        overflow_ = true;
        return false;
    }
    return sink_(rate_, samples_);
}

} // namespace engine
