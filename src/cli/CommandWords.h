#pragma once

#include <cstring>

// The first word of a command line and the command it names. Free of Qt: the
// launcher reads it before any library is loaded.
enum class CliCommand { Window, Help, Version, Translate, Ocr, Speak, Languages };

struct CommandWord {
    const char* word;
    CliCommand command;
};

inline constexpr CommandWord kCommandWords[] = {
    {"translate", CliCommand::Translate},
    {"ocr", CliCommand::Ocr},
    {"speak", CliCommand::Speak},
    {"languages", CliCommand::Languages},
    {"help", CliCommand::Help},
    {"--help", CliCommand::Help},
    {"-h", CliCommand::Help},
    {"--version", CliCommand::Version},
};

// Window when the word names no command (the window's own arguments).
inline CliCommand CommandOfWord(const char* word) {
    for (const CommandWord& w : kCommandWords)
        if (std::strcmp(w.word, word) == 0)
            return w.command;
    return CliCommand::Window;
}
