#include "engine/SpeechProcess.h"

#include <QTemporaryDir>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <thread>

namespace {

using engine::SpeechProcess;
using namespace std::chrono_literals;

// A helper written as a shell script.
class Script {
public:
    explicit Script(const std::string& body) : path_(dir_.filePath("helper").toStdString()) {
        std::ofstream(path_) << "#!/bin/sh\n" << body << "\n";
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all);
    }
    const std::string& path() const { return path_; }

private:
    QTemporaryDir dir_;
    std::string path_;
};

// Neither running nor a zombie: reaped.
bool Reaped(pid_t pid) {
    return kill(pid, 0) != 0 && errno == ESRCH;
}

// A process the helper started: killed once it is gone or a zombie its new
// parent has yet to reap. Killing takes effect at once, dying a moment later.
bool Killed(pid_t pid) {
    for (int i = 0; i < 500; ++i) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(stat, line))
            return true;
        const std::size_t state = line.rfind(')') + 2;
        if (state < line.size() && line[state] == 'Z')
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

TEST(SpeechProcess, EndsAndReapsTheHelperWhateverItDoes) {
    constexpr std::chrono::milliseconds kLong = 30s, kShort = 300ms;
    const std::string large(8 << 20, 'x'); // far more than a socket buffer
    struct Case {
        const char* name;
        const char* script;
        const std::string& input;
        std::chrono::milliseconds deadline;
        bool readerStops;
        bool finished;
        int code, signal;
        bool timedOut, stopped;
    } const cases[] = {
        {"exits", "exit 3", {}, kLong, false, true, 3, 0, false, false},
        {"crashes",
         "ulimit -c 0; kill -SEGV $$",
         {},
         kLong,
         false,
         false,
         -1,
         SIGSEGV,
         false,
         false},
        {"hangs", "exec sleep 60", {}, kShort, false, false, -1, SIGKILL, true, false},
        {"closes its output, then hangs",
         "exec >&-; exec sleep 60",
         {},
         kShort,
         false,
         false,
         -1,
         SIGKILL,
         true,
         false},
        {"never reads its input", "exec sleep 60", large, kShort, false, false, -1, SIGKILL, true,
         false},
        {"writes without end to a reader that stops",
         "exec yes",
         {},
         kLong,
         true,
         false,
         -1,
         SIGKILL,
         false,
         true},
    };
    for (const Case& c : cases) {
        const Script script(c.script);
        SpeechProcess process(script.path(), {}, c.input);
        ASSERT_TRUE(process.started()) << c.name;
        const auto outcome =
            process.Drain([&c](std::span<const char>) { return !c.readerStops; }, c.deadline);
        EXPECT_EQ(outcome.finished, c.finished) << c.name;
        EXPECT_EQ(outcome.code, c.code) << c.name;
        EXPECT_EQ(outcome.signal, c.signal) << c.name;
        EXPECT_EQ(outcome.timedOut, c.timedOut) << c.name;
        EXPECT_EQ(outcome.stopped, c.stopped) << c.name;
        EXPECT_TRUE(Reaped(process.pid())) << c.name;
    }
}

TEST(SpeechProcess, PassesALargeInputThroughWhileReading) {
    std::string input(4 << 20, '\0');
    std::mt19937 random(19);
    for (char& c : input)
        c = static_cast<char>(random());
    const Script cat("exec cat");
    SpeechProcess process(cat.path(), {}, input);
    std::string output;
    const auto outcome = process.Drain(
        [&output](std::span<const char> bytes) {
            output.append(bytes.data(), bytes.size());
            return true;
        },
        30s);
    EXPECT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.code, 0);
    EXPECT_TRUE(output == input) << output.size() << " bytes of " << input.size();
}

TEST(SpeechProcess, WhatTheHelperStartedDiesWithIt) {
    // $! is the started process; the first helper leaves while it runs, the
    // second hangs beside it.
    const std::pair<const char*, bool> cases[] = {
        {"sleep 60 >/dev/null 2>&1 & echo $!", false},
        {"sleep 60 >/dev/null 2>&1 & echo $!; exec sleep 60", true},
    };
    for (const auto& [body, hangs] : cases) {
        const Script script(body);
        SpeechProcess process(script.path(), {}, {});
        std::string output;
        const auto outcome = process.Drain(
            [&output](std::span<const char> bytes) {
                output.append(bytes.data(), bytes.size());
                return true;
            },
            hangs ? 300ms : 30s);
        EXPECT_EQ(outcome.timedOut, hangs) << body;
        EXPECT_TRUE(Reaped(process.pid())) << body;
        const pid_t started = std::atoi(output.c_str());
        ASSERT_GT(started, 0) << body << ": " << output;
        EXPECT_TRUE(Killed(started)) << body;
    }
}

TEST(SpeechProcess, AnUndrainedHelperDiesWithItsOwner) {
    const Script script("exec sleep 60");
    pid_t pid = 0;
    {
        SpeechProcess process(script.path(), {}, "text");
        ASSERT_TRUE(process.started());
        pid = process.pid();
    }
    EXPECT_TRUE(Reaped(pid));
}

TEST(SpeechProcess, AMissingProgramSaysWhy) {
    const QTemporaryDir dir;
    const Script notExecutable("exit 0");
    std::filesystem::permissions(notExecutable.path(), std::filesystem::perms::owner_read);
    for (const std::string& program :
         {dir.filePath("absent").toStdString(), notExecutable.path()}) {
        SpeechProcess process(program, {}, "text");
        EXPECT_FALSE(process.started()) << program;
        EXPECT_NE(process.startError(), 0) << program;
        EXPECT_FALSE(process.Drain([](std::span<const char>) { return true; }, 1s).finished);
    }
}

} // namespace
