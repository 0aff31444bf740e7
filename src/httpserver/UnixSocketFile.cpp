#include "httpserver/UnixSocketFile.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace httpserver {

namespace {

// True when a server accepts connections at path.
bool Answers(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

} // namespace

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
    if (Answers(path)) {
        error = path + ": another server is listening there";
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
