#pragma once

#include <cstring>

// The first word of a command line and the command it names. Free of Qt: the
// launcher reads it before any library is loaded.
enum class CliCommand {
    Window,
    Help,
    Version,
    Translate,
    Ocr,
    Speak,
    Languages,
    Engines,
    History,
    Unknown
};

struct CommandWord {
    const char* word;
    CliCommand command;
};

inline constexpr CommandWord kCommandWords[] = {
    {"translate", CliCommand::Translate},
    {"ocr", CliCommand::Ocr},
    {"speak", CliCommand::Speak},
    {"languages", CliCommand::Languages},
    {"engines", CliCommand::Engines},
    {"history", CliCommand::History},
    {"help", CliCommand::Help},
    {"--help", CliCommand::Help},
    {"-h", CliCommand::Help},
    {"--version", CliCommand::Version},
    // The window's own requests (see desktop/InstanceChannel.h).
    {"", CliCommand::Window},
    {"--show", CliCommand::Window},
    {"--translate-selection", CliCommand::Window},
    {"--recognize-region", CliCommand::Window},
};

// Unknown for a word that names neither a command nor a window request: a
// mistyped command must not open the window.
inline CliCommand CommandOfWord(const char* word) {
    for (const CommandWord& w : kCommandWords)
        if (std::strcmp(w.word, word) == 0)
            return w.command;
    return CliCommand::Unknown;
}
