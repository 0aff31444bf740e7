#pragma once

#include <chrono>
#include <functional>
#include <span>
#include <sys/types.h>

namespace engine {

// Runs work in a forked copy of this process and hands back what it writes to
// a pipe, so that a crash, a hang or a corrupted state in work costs only the
// copy. The copy shares nothing but the pipe: every other descriptor is closed
// in it, and it ends with _exit, never running the program's exit handlers.
// Fork only from a thread that holds no lock the work needs.
class SpeechProcess {
public:
    struct Outcome {
        bool finished = false; // work returned; code is its result
        int code = -1;
        int signal = 0;        // the signal that ended it, when it did not finish
        bool timedOut = false; // killed at the deadline
        bool stopped = false;  // killed because the reader asked
    };

    // work gets the pipe's write end and returns the exit code.
    explicit SpeechProcess(const std::function<int(int)>& work);
    ~SpeechProcess();
    SpeechProcess(const SpeechProcess&) = delete;
    SpeechProcess& operator=(const SpeechProcess&) = delete;

    bool started() const { return pid_ > 0; }

    // Passes on the bytes as they come until the pipe closes; a reader that
    // returns false, or the deadline, kills the copy. Call once.
    Outcome Drain(const std::function<bool(std::span<const char>)>& read,
                  std::chrono::milliseconds deadline);

private:
    void KillAndReap(Outcome& outcome);

    pid_t pid_ = -1;
    int pipe_ = -1;
};

} // namespace engine
