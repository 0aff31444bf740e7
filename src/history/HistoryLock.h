#pragma once

#include <QString>

// A lock beside the history file (flock on "<file>.lock"). Every open store
// holds it shared for its life; moving an unusable file aside takes it
// exclusively, so no file that another process still uses is ever moved.
class HistoryLock {
public:
    explicit HistoryLock(const QString& path);
    ~HistoryLock();
    HistoryLock(const HistoryLock&) = delete;
    HistoryLock& operator=(const HistoryLock&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // Each waits at most timeoutMs; false when the lock could not be had
    // (any lock held before may then be gone).
    bool Shared(int timeoutMs);
    bool Exclusive(int timeoutMs);

private:
    bool Take(int operation, int timeoutMs);
    int fd_ = -1;
};
