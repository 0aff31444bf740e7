#pragma once

#include <string>

// An exclusive lock on a file (flock), held for the object's life. Free of Qt,
// so the launcher can take it before it loads any library. Locks taken
// through separate opens exclude each other in one process too.
class FileLock {
public:
    // Waits at most timeoutMs for the lock; the file is made (0600) when
    // missing and never followed through a link.
    FileLock(const std::string& path, int timeoutMs);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool Locked() const { return locked_; }
    // The open file, for keeping a short record in it under the lock.
    int Fd() const { return fd_; }

private:
    int fd_ = -1;
    bool locked_ = false;
};
