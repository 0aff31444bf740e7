#include "history/HistoryLock.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

HistoryLock::HistoryLock(const QString& path) {
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC,
                 0600);
}

HistoryLock::~HistoryLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool HistoryLock::Shared(int timeoutMs) {
    return Take(LOCK_SH, timeoutMs);
}

bool HistoryLock::Exclusive(int timeoutMs) {
    return Take(LOCK_EX, timeoutMs);
}

bool HistoryLock::Take(int operation, int timeoutMs) {
    // Polled rather than blocking: a holder that hangs must not hang us too.
    for (int waited = 0; fd_ >= 0; waited += 10) {
        if (::flock(fd_, operation | LOCK_NB) == 0)
            return true;
        if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= timeoutMs)
            return false;
        const timespec step{0, 10'000'000};
        ::nanosleep(&step, nullptr);
    }
    return false;
}
