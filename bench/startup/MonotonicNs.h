#pragma once

#include <ctime>

// The clock the bench and the marks it reads from either program share.
inline long long MonotonicNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000000000LL + now.tv_nsec;
}
