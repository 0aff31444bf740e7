#include "AttemptLimiter.h"

namespace site {

void AttemptLimiter::Forget(Clock::time_point now) {
    // Keys of clients that went quiet go, so the map cannot grow without end.
    if (now - lastSweep_ < window_)
        return;
    lastSweep_ = now;
    for (auto it = attempts_.begin(); it != attempts_.end();) {
        while (!it->second.empty() && now - it->second.front() >= window_)
            it->second.pop_front();
        it = it->second.empty() ? attempts_.erase(it) : std::next(it);
    }
}

bool AttemptLimiter::Allowed(const std::string& key, Clock::time_point now) {
    std::lock_guard lock(mutex_);
    Forget(now);
    const auto it = attempts_.find(key);
    if (it == attempts_.end())
        return true;
    while (!it->second.empty() && now - it->second.front() >= window_)
        it->second.pop_front();
    return it->second.size() < max_;
}

void AttemptLimiter::Record(const std::string& key, Clock::time_point now) {
    std::lock_guard lock(mutex_);
    attempts_[key].push_back(now);
}

} // namespace site
