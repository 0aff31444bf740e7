#include "engine/SpeechProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace engine {

namespace {

[[noreturn]] void RunChild(const std::function<int(int)>& work, int out) {
    // The program's own crash handlers must not run in the copy, and a reader
    // that went away ends it.
    for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGPIPE, SIGTERM, SIGINT})
        std::signal(s, SIG_DFL);
    // A crash of the copy is reported as a failed request, not as a core file.
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    // Keep standard streams and the pipe only: a copy of the server's sockets
    // would hold connections open while the copy lives.
    if (out != 3) {
        if (dup2(out, 3) < 0)
            _exit(125);
        out = 3;
    }
    close_range(4, ~0U, 0);
    _exit(work(out));
}

int Status(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return status;
}

void Record(int status, SpeechProcess::Outcome& outcome) {
    if (status >= 0 && WIFEXITED(status)) {
        outcome.finished = true;
        outcome.code = WEXITSTATUS(status);
    } else if (status >= 0 && WIFSIGNALED(status)) {
        outcome.signal = WTERMSIG(status);
    }
}

} // namespace

SpeechProcess::SpeechProcess(const std::function<int(int)>& work) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        RunChild(work, fds[1]);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return;
    }
    pid_ = pid;
    pipe_ = fds[0];
}

SpeechProcess::~SpeechProcess() {
    if (pid_ > 0) {
        Outcome ignored;
        KillAndReap(ignored);
    }
    if (pipe_ >= 0)
        close(pipe_);
}

void SpeechProcess::KillAndReap(Outcome& outcome) {
    kill(pid_, SIGKILL);
    Record(Status(pid_), outcome);
    pid_ = -1;
}

SpeechProcess::Outcome SpeechProcess::Drain(const std::function<bool(std::span<const char>)>& read,
                                            std::chrono::milliseconds deadline) {
    Outcome outcome;
    if (pid_ <= 0)
        return outcome;
    const auto end = std::chrono::steady_clock::now() + deadline;
    char buffer[65536];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            outcome.timedOut = true;
            KillAndReap(outcome);
            return outcome;
        }
        pollfd p{pipe_, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0)
            continue;
        const ssize_t n = ::read(pipe_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // closed: the copy has finished or died
        if (!read(std::span<const char>(buffer, static_cast<std::size_t>(n)))) {
            outcome.stopped = true;
            KillAndReap(outcome);
            return outcome;
        }
    }
    Record(Status(pid_), outcome);
    pid_ = -1;
    return outcome;
}

} // namespace engine
