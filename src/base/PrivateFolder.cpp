#include "base/PrivateFolder.h"

#include "base/FileLock.h"

#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr char kTemplatePrefix[] = "/tmp/quillmate-";

bool FitsSockets(const std::string& folder) {
    return folder.size() + 1 + kLongestSocketName <= kMaxSocketPathLength;
}

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string HomeFolder() {
    std::string home = Variable("HOME");
    if (!home.empty())
        return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir)
        home = found->pw_dir;
    return home;
}

// The program's data folder, as the window finds it, made when missing.
std::string DataFolder() {
    std::string folder = Variable("QUILLMATE_DATA_DIR");
    if (folder.empty()) {
        std::string base = Variable("XDG_DATA_HOME");
        if (base.empty() || base[0] != '/')
            base = HomeFolder() + "/.local/share";
        folder = base + "/quillmate";
    }
    if (folder.empty() || folder[0] != '/')
        return {};
    for (std::size_t at = folder.find('/', 1); at != std::string::npos;
         at = folder.find('/', at + 1))
        ::mkdir(folder.substr(0, at).c_str(), 0700);
    ::mkdir(folder.c_str(), 0700);
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? folder : std::string();
}

// The record's name carries the host: a home shared over the network must not
// send one machine to another's /tmp.
std::string RecordName() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || !host[0])
        return "runtime-folder";
    std::string name = "runtime-folder-";
    for (const char* c = host; *c; ++c) {
        const bool plain = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') ||
                           (*c >= '0' && *c <= '9') || *c == '-' || *c == '.';
        name += plain ? *c : '_';
    }
    return name;
}

std::string ReadRecord(int fd) {
    char text[256];
    const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
    if (got <= 0)
        return {};
    std::string folder(text, static_cast<std::size_t>(got));
    if (const std::size_t end = folder.find('\n'); end != std::string::npos)
        folder.resize(end);
    return folder;
}

// Only a folder of the kind we make counts, whatever the record says.
bool UsableFallback(const std::string& folder) {
    const std::string prefix = kTemplatePrefix;
    return folder.size() > prefix.size() && folder.compare(0, prefix.size(), prefix) == 0 &&
           folder.find('/', prefix.size()) == std::string::npos && IsPrivateFolder(folder);
}

std::string RecordedFallback() {
    const std::string data = DataFolder();
    if (data.empty())
        return {};
    FileLock record(data + '/' + RecordName(), 5000);
    if (!record.Locked())
        return {};
    if (std::string folder = ReadRecord(record.Fd()); UsableFallback(folder))
        return folder;
    std::string made = std::string(kTemplatePrefix) + "XXXXXX";
    if (!::mkdtemp(made.data()) || !IsPrivateFolder(made))
        return {};
    const std::string line = made + '\n';
    if (::ftruncate(record.Fd(), 0) != 0 ||
        ::pwrite(record.Fd(), line.data(), line.size(), 0) != ssize_t(line.size())) {
        ::rmdir(made.c_str());
        return {};
    }
    return made;
}

} // namespace

bool IsPrivateFolder(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

bool MakePrivateFolder(const std::string& path) {
    if (path.empty())
        return false;
    ::mkdir(path.c_str(), 0700);
    return IsPrivateFolder(path);
}

std::string PrivateRuntimeFolder() {
    const std::string runtime = Variable("XDG_RUNTIME_DIR");
    if (!runtime.empty() && runtime[0] == '/') {
        const std::string folder = runtime + "/quillmate";
        if (FitsSockets(folder) && MakePrivateFolder(folder))
            return folder;
    }
    return RecordedFallback();
}
