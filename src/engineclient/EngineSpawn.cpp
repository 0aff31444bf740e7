#include "engineclient/EngineSpawn.h"

#include <QElapsedTimer>
#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void Reset(int fd) {
        Close();
        fd_ = fd;
    }
    void Close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

bool MakePipe(Fd& readEnd, Fd& writeEnd) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    readEnd.Reset(fds[0]);
    writeEnd.Reset(fds[1]);
    return true;
}

// Reads up to the first line feed, or until the time is up or the writer
// closes its end.
QByteArray ReadFirstLine(int fd, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    QByteArray line;
    while (!line.contains('\n') && line.size() < 4096) {
        const int left = timeoutMs - static_cast<int>(timer.elapsed());
        if (left <= 0)
            break;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, left);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char buffer[512];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        line.append(buffer, got);
    }
    const qsizetype end = line.indexOf('\n');
    return end < 0 ? QByteArray() : line.first(end);
}

} // namespace

SpawnedServer SpawnDetachedServer(const QString& program, const QStringList& arguments,
                                  const QByteArray& input, const QString& logPath, int timeoutMs) {
    SpawnedServer result;
    if (::access(program.toLocal8Bit().constData(), X_OK) != 0) {
        result.error = QStringLiteral("no engine program at ") + program;
        return result;
    }
    // Everything the children need is made before fork: after it, only calls
    // that are safe in a copy of a threaded process are allowed.
    std::vector<QByteArray> storage{program.toLocal8Bit()};
    for (const QString& argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& item : storage)
        argv.push_back(item.data());
    argv.push_back(nullptr);

    Fd outRead, outWrite, pidRead, pidWrite, inRead, inWrite;
    Fd null(::open("/dev/null", O_RDWR | O_CLOEXEC));
    Fd log(::open(logPath.toLocal8Bit().constData(),
                  O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!MakePipe(outRead, outWrite) || !MakePipe(pidRead, pidWrite) ||
        !MakePipe(inRead, inWrite) || null.get() < 0) {
        result.error = QStringLiteral("cannot make pipes");
        return result;
    }
    // Written whole before the fork, while the read end is still ours: the
    // pipe holds it, and a server that dies early cannot raise SIGPIPE here.
    if (input.size() > PIPE_BUF || ::write(inWrite.get(), input.constData(),
                                           static_cast<size_t>(input.size())) != input.size()) {
        result.error = QStringLiteral("cannot pass the engine its input");
        return result;
    }
    inWrite.Close();
    const int errFd = log.get() >= 0 ? log.get() : null.get();

    const pid_t child = ::fork();
    if (child < 0) {
        result.error = QStringLiteral("cannot fork");
        return result;
    }
    if (child == 0) {
        // A new session, then a second fork: the server is nobody's child
        // here and no terminal's signals reach it.
        ::setsid();
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        const pid_t server = ::fork();
        if (server != 0) {
            if (server > 0)
                (void)!::write(pidWrite.get(), &server, sizeof server);
            ::_exit(server > 0 ? 0 : 1);
        }
        ::signal(SIGPIPE, SIG_DFL);
        ::dup2(inRead.get(), STDIN_FILENO);
        ::dup2(outWrite.get(), STDOUT_FILENO);
        ::dup2(errFd, STDERR_FILENO);
        ::close_range(3, ~0U, 0);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    outWrite.Close();
    pidWrite.Close();
    inRead.Close();
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    pid_t server = -1;
    if (::read(pidRead.get(), &server, sizeof server) != sizeof server) {
        result.error = QStringLiteral("the engine could not be started");
        return result;
    }
    result.pid = server;
    result.url = QString::fromUtf8(ReadFirstLine(outRead.get(), timeoutMs)).trimmed();
    if (result.url.isEmpty())
        result.error = QStringLiteral("the engine did not report its address; see ") + logPath;
    return result;
}
