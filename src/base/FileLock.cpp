#include "base/FileLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

FileLock::FileLock(const std::string& path, int timeoutMs) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    // Polled rather than blocking: a holder that hangs must not hang us too.
    for (int waited = 0; fd_ >= 0; waited += 10) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            locked_ = true;
            break;
        }
        if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= timeoutMs)
            break;
        const timespec step{0, 10'000'000};
        ::nanosleep(&step, nullptr);
    }
}

FileLock::~FileLock() {
    if (fd_ >= 0)
        ::close(fd_);
}
