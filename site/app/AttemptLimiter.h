#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

namespace site {

// Counts attempts per key (a client address) in a sliding window, in memory:
// enough to slow down guessing the admin token.
class AttemptLimiter {
public:
    using Clock = std::chrono::steady_clock;
    AttemptLimiter(std::size_t maxAttempts, Clock::duration window)
        : max_(maxAttempts), window_(window) {}

    // True while the key has room for another attempt.
    bool Allowed(const std::string& key, Clock::time_point now);
    void Record(const std::string& key, Clock::time_point now);

private:
    void Forget(Clock::time_point now);

    const std::size_t max_;
    const Clock::duration window_;
    std::mutex mutex_;
    std::unordered_map<std::string, std::deque<Clock::time_point>> attempts_;
    Clock::time_point lastSweep_{};
};

} // namespace site
