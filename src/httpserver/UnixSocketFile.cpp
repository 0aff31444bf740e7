#include "httpserver/UnixSocketFile.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace httpserver {

bool UnixSocketFile::Prepare(const std::string& path, std::string& error) {
    if (path.size() >= sizeof(sockaddr_un::sun_path)) {
        error = path + ": a socket path holds at most " +
                std::to_string(sizeof(sockaddr_un::sun_path) - 1) + " bytes";
        return false;
    }
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return true;
        error = path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISSOCK(info.st_mode)) {
        error = path + " exists and is not a socket; not replacing it";
        return false;
    }
    if (info.st_uid != ::geteuid()) {
        error = path + " is another user's socket; not replacing it";
        return false;
    }
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        error = path + ": cannot remove the old socket: " + std::strerror(errno);
        return false;
    }
    return true;
}

void UnixSocketFile::Adopt(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return;
    path_ = path;
    device_ = info.st_dev;
    inode_ = info.st_ino;
    adopted_ = true;
}

void UnixSocketFile::Remove() {
    if (!adopted_)
        return;
    adopted_ = false;
    struct stat info {};
    if (::lstat(path_.c_str(), &info) == 0 && info.st_dev == device_ && info.st_ino == inode_)
        ::unlink(path_.c_str());
}

} // namespace httpserver
