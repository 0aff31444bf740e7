#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace engine {

// Starts program with arguments, input as its standard input and output as
// its standard output; standard error stays ours. It gets no other
// descriptor, none of our signal mask or ignored signals, of our environment
// only what the speech helper needs, and a process group of its own, which it
// leads. Returns 0 and sets pid, or an errno value.
int SpawnHelper(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                int input, int output, pid_t& pid);

} // namespace engine
