#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <sys/types.h>
#include <vector>

namespace engine {

// Runs a helper program with input on its standard input and hands back what
// it writes to its standard output, so that a crash, a hang or a corrupted
// state costs only the helper. It gets standard error and these two, no other
// descriptor, no signal mask or ignored signal of ours, and a group of its
// own: killing it kills whatever it started too. It is always reaped.
class SpeechProcess {
public:
    struct Outcome {
        bool finished = false; // exited; code is its exit code
        int code = -1;
        int signal = 0;        // the signal that ended it, when it did not finish
        bool timedOut = false; // killed at the deadline
        bool stopped = false;  // killed because the reader asked
    };

    SpeechProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                  std::string input);
    ~SpeechProcess();
    SpeechProcess(const SpeechProcess&) = delete;
    SpeechProcess& operator=(const SpeechProcess&) = delete;

    bool started() const { return pid_ > 0; }
    // Why it did not start (an errno value); 0 once started.
    int startError() const { return startError_; }
    // Kept after the helper is reaped.
    pid_t pid() const { return pid_; }

    // Feeds the input and passes on the output as it comes until the helper
    // ends; a reader that returns false, or the deadline, kills it. Call once.
    Outcome Drain(const std::function<bool(std::span<const char>)>& read,
                  std::chrono::milliseconds deadline);

private:
    void Spawn(const std::filesystem::path& program, const std::vector<std::string>& arguments);
    void FeedInput();
    void KillAndReap(Outcome& outcome);
    void Reap(Outcome& outcome, std::chrono::steady_clock::time_point end);

    pid_t pid_ = -1;
    bool reaped_ = false;
    int startError_ = 0;
    int output_ = -1;
    int input_ = -1;
    int pidfd_ = -1;
    std::string pending_; // input not yet taken
    std::size_t fed_ = 0;
};

} // namespace engine
