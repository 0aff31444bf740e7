#include "engine/HelperSpawn.h"

#include <csignal>
#include <cstdlib>
#include <spawn.h>
#include <unistd.h>

namespace engine {

namespace {

// What the helper needs of our environment: where espeak-ng's data may be
// (it looks in $HOME too), and a sanitizer's settings in a sanitized build.
constexpr const char* kPassedOn[] = {"HOME", "ESPEAK_DATA_PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS",
                                     "LSAN_OPTIONS"};

// posix_spawn's setup, freed on every path.
class SpawnSetup {
public:
    SpawnSetup(int input, int output) {
        error_ = posix_spawn_file_actions_init(&actions_);
        if (error_ != 0)
            return;
        if (const int failed = posix_spawnattr_init(&attributes_); failed != 0) {
            posix_spawn_file_actions_destroy(&actions_);
            error_ = failed;
            return;
        }
        ready_ = true;
        sigset_t all, none;
        sigfillset(&all);
        sigemptyset(&none);
        Step(posix_spawn_file_actions_adddup2(&actions_, input, STDIN_FILENO));
        Step(posix_spawn_file_actions_adddup2(&actions_, output, STDOUT_FILENO));
        // Descriptors other threads opened without O_CLOEXEC stay ours.
        Step(posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1));
        // The server ignores SIGPIPE, and its threads may block signals.
        Step(posix_spawnattr_setsigdefault(&attributes_, &all));
        Step(posix_spawnattr_setsigmask(&attributes_, &none));
        Step(posix_spawnattr_setpgroup(&attributes_, 0));
        Step(posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK |
                                                        POSIX_SPAWN_SETPGROUP));
    }
    ~SpawnSetup() {
        if (ready_) {
            posix_spawn_file_actions_destroy(&actions_);
            posix_spawnattr_destroy(&attributes_);
        }
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // 0 or an errno value.
    int Spawn(pid_t& pid, char* const argv[], char* const envp[]) const {
        return error_ != 0 ? error_
                           : posix_spawn(&pid, argv[0], &actions_, &attributes_, argv, envp);
    }

private:
    void Step(int result) {
        if (error_ == 0)
            error_ = result;
    }

    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
    bool ready_ = false;
    int error_ = 0;
};

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

int SpawnHelper(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                int input, int output, pid_t& pid) {
    std::vector<std::string> argv{program.string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environment;
    for (const char* name : kPassedOn) {
        if (const char* value = std::getenv(name))
            environment.push_back(std::string(name) + "=" + value);
    }
    return SpawnSetup(input, output)
        .Spawn(pid, Pointers(argv).data(), Pointers(environment).data());
}

} // namespace engine
