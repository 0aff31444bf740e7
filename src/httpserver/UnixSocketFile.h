#pragma once

#include <string>
#include <sys/types.h>

namespace httpserver {

// The file of a listening Unix socket: what may be replaced before binding,
// and removing it again only while it is still the one we made.
class UnixSocketFile {
public:
    // Checks path before a bind: nothing there, or a socket of this user that
    // nobody answers on (left by a server that died), which is removed. Any
    // other file, another user's socket or a live one is refused with a reason.
    static bool Prepare(const std::string& path, std::string& error);

    // Remembers the socket just bound at path, so Remove leaves alone a file a
    // later server put in its place.
    void Adopt(const std::string& path);
    void Remove();

private:
    std::string path_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    bool adopted_ = false;
};

} // namespace httpserver
