#include "engine/SpeechProcess.h"

#include "engine/HelperSpawn.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace engine {

namespace {

using Clock = std::chrono::steady_clock;

void CloseIfOpen(int& fd) {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

// In a process started with standard input or output closed, a new pipe can
// get 0 or 1, and the child's dup2 onto 0 would then overwrite an end it has
// yet to copy onto 1.
int AboveStandard(int fd) {
    if (fd < 0 || fd > STDERR_FILENO)
        return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    close(fd);
    return moved;
}

int MillisecondsLeft(Clock::time_point end) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

int Wait(pid_t pid) {
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

SpeechProcess::SpeechProcess(const std::filesystem::path& program,
                             const std::vector<std::string>& arguments, std::string input)
    : pending_(std::move(input)) {
    Spawn(program, arguments);
    if (started() && pending_.empty())
        CloseIfOpen(input_);
}

void SpeechProcess::Spawn(const std::filesystem::path& program,
                          const std::vector<std::string>& arguments) {
    int out[2] = {-1, -1};
    // A socket for the input, not a pipe: send() can be told not to raise
    // SIGPIPE when the helper has gone without reading.
    int in[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0 || socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0)
        startError_ = errno;
    for (int* fd : {&out[0], &out[1], &in[0], &in[1]}) {
        *fd = AboveStandard(*fd);
        if (*fd < 0 && startError_ == 0)
            startError_ = errno;
    }

    pid_t pid = -1;
    if (startError_ == 0)
        startError_ = SpawnHelper(program, arguments, in[1], out[1], pid);
    if (startError_ == 0)
        pid_ = pid;
    CloseIfOpen(out[1]);
    CloseIfOpen(in[1]);
    if (!started()) {
        CloseIfOpen(out[0]);
        CloseIfOpen(in[0]);
        return;
    }
    output_ = out[0];
    input_ = in[0];
    // Lets the deadline hold after the output closes; without it (an old
    // kernel) the helper's exit is awaited. A syscall: glibc 2.36 declares
    // pidfd_open without C linkage.
    pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
}

SpeechProcess::~SpeechProcess() {
    if (started() && !reaped_) {
        Outcome ignored;
        KillAndReap(ignored);
    }
    CloseIfOpen(output_);
    CloseIfOpen(input_);
    CloseIfOpen(pidfd_);
}

void SpeechProcess::FeedInput() {
    while (fed_ < pending_.size()) {
        const ssize_t n = send(input_, pending_.data() + fed_, pending_.size() - fed_,
                               MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n <= 0)
            break; // the helper has gone without reading; its exit says why
        fed_ += static_cast<std::size_t>(n);
    }
    CloseIfOpen(input_); // the end of the input
}

void SpeechProcess::KillAndReap(Outcome& outcome) {
    kill(-pid_, SIGKILL);
    kill(pid_, SIGKILL); // in case it left its group
    Record(Wait(pid_), outcome);
    reaped_ = true;
}

void SpeechProcess::Reap(Outcome& outcome, Clock::time_point end) {
    // The output may close before the helper ends: the deadline still holds.
    while (pidfd_ >= 0) {
        const int left = MillisecondsLeft(end);
        if (left <= 0) {
            outcome.timedOut = true;
            KillAndReap(outcome);
            return;
        }
        pollfd p{pidfd_, POLLIN, 0};
        const int ready = poll(&p, 1, left);
        if (ready > 0) {
            // Ended; whatever it started must not live on. Its number is
            // still ours until it is reaped.
            kill(-pid_, SIGKILL);
            break;
        }
        if (ready < 0 && errno != EINTR)
            break;
    }
    Record(Wait(pid_), outcome);
    reaped_ = true;
}

SpeechProcess::Outcome SpeechProcess::Drain(const std::function<bool(std::span<const char>)>& read,
                                            std::chrono::milliseconds deadline) {
    Outcome outcome;
    if (!started() || reaped_)
        return outcome;
    const auto end = Clock::now() + deadline;
    char buffer[65536];
    while (output_ >= 0) {
        const int left = MillisecondsLeft(end);
        if (left <= 0) {
            outcome.timedOut = true;
            KillAndReap(outcome);
            return outcome;
        }
        pollfd p[2] = {{output_, POLLIN, 0}, {input_, POLLOUT, 0}};
        const int ready = poll(p, input_ >= 0 ? 2 : 1, left);
        if (ready < 0 && errno != EINTR) {
            KillAndReap(outcome);
            return outcome;
        }
        if (ready <= 0)
            continue;
        if (input_ >= 0 && p[1].revents != 0)
            FeedInput();
        if (p[0].revents == 0)
            continue;
        const ssize_t n = ::read(output_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // closed: the helper has ended, or closed its output
        if (!read(std::span<const char>(buffer, static_cast<std::size_t>(n)))) {
            outcome.stopped = true;
            KillAndReap(outcome);
            return outcome;
        }
    }
    CloseIfOpen(output_);
    CloseIfOpen(input_);
    Reap(outcome, end);
    return outcome;
}

} // namespace engine
