#pragma once

#include <csignal>
#include <sys/resource.h>

// Caps the size of the files this process writes while it lives: a write past
// the cap fails as on a full disk, without filling one.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        // Past the cap the kernel would otherwise end the process with SIGXFSZ.
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved_;
        small.rlim_cur = bytes;
        active_ = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool Active() const { return active_; }

private:
    struct rlimit saved_ {};
    void (*oldHandler_)(int) = nullptr;
    bool active_ = false;
};
