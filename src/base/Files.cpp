#include "base/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

int32_t FileSizeOf(const QString& path) {
    if (path.isEmpty())
        return -1;
    const QFileInfo info(QDir::current().absoluteFilePath(path));
    if (!info.exists())
        return -1;
    // A folder matches as an entry of size 0, as a search of its name would.
    if (info.isDir())
        return 0;
    const qint64 size = info.size();
    if (size < 0 || size > std::numeric_limits<int32_t>::max())
        return -1;
    return static_cast<int32_t>(size);
}

namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// Grants the owner the given bits on the entry itself, never on what a link
// points at. glibc refuses AT_SYMLINK_NOFOLLOW without /proc; the entry was
// just seen not to be a link, so the plain call is the fallback.
void AddOwnerBits(int dirFd, const char* name, mode_t current, mode_t bits) {
    if ((current & bits) == bits)
        return;
    const mode_t mode = (current & 07777) | bits;
    if (::fchmodat(dirFd, name, mode, AT_SYMLINK_NOFOLLOW) == 0)
        return;
    if (errno == EOPNOTSUPP || errno == ENOSYS)
        ::fchmodat(dirFd, name, mode, 0);
}

bool ExtensionMatches(const QString& name, const QString& extension) {
    if (extension == QLatin1String(".*"))
        return true;
    const qsizetype dot = name.lastIndexOf('.');
    if (dot < 0)
        return false;
    return name.mid(dot).compare(extension, Qt::CaseInsensitive) == 0;
}

// Takes ownership of dirFd.
bool DeleteIn(int dirFd, const QString& extension) {
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return false;
    }
    bool result = true;
    while (result) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry)
            break;
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        struct stat st {};
        if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue; // vanished meanwhile
        if (S_ISLNK(st.st_mode)) {
            // The link itself may go; neither it nor its target is touched otherwise.
            if (ExtensionMatches(QFile::decodeName(name), extension))
                result = ::unlinkat(dirFd, name, 0) == 0;
        } else if (S_ISDIR(st.st_mode)) {
            AddOwnerBits(dirFd, name, st.st_mode, S_IRWXU);
            // O_NOFOLLOW: a link swapped in since fstatat is not descended into.
            const int sub = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            result = sub >= 0 && DeleteIn(sub, extension);
        } else {
            AddOwnerBits(dirFd, name, st.st_mode, S_IRUSR | S_IWUSR);
            if (ExtensionMatches(QFile::decodeName(name), extension))
                result = ::unlinkat(dirFd, name, 0) == 0;
        }
    }
    ::closedir(dir);
    return result;
}

} // namespace

bool DeleteFilesWithExtension(const QString& folder, const QString& extension) {
    QString ext = extension;
    if (!ext.contains('.'))
        ext.prepend('.');
    // Doubled and trailing separators are harmless here, but a trailing one
    // would make the kernel follow a link in the last component.
    QString path = QDir::cleanPath(folder);
    if (path.isEmpty())
        return false;
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        return errno == ENOENT; // nothing there, nothing to delete
    if (!S_ISDIR(st.st_mode))
        return false;
    Fd fd(::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0)
        return false;
    return DeleteIn(fd.release(), ext);
}

bool SaveFileAtomically(const QString& path, QByteArrayView bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const bool complete = file.write(bytes.data(), bytes.size()) == bytes.size() && file.flush() &&
                          file.size() == bytes.size();
    if (!complete) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
