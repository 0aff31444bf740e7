#pragma once

#include "engine/EngineResult.h"

#include <optional>
#include <string>
#include <string_view>

namespace engine {

struct SpeechAudio {
    Error error;
    std::string mp3;
};

// Reads UTF-8 text aloud with the voice of a speech code of the language
// catalogue, at speed 0..9 (5 is normal), and returns it as an mp3 file.
// "auto" picks the voice from the script most of the text is written in.
// Safe to call from any thread, and calls run side by side: each text is read
// by a helper process of its own and encoded by its own encoder, so a text
// that hangs the speech library holds up only its own call (until the
// synthesis deadline).
SpeechAudio Synthesize(std::string_view utf8Text, std::string_view speechCode, int speed);

// The speech voice for a speech code of the catalogue; nothing for a code the
// catalogue does not have. "auto" gives the voice for text in no known script.
std::optional<std::string> VoiceFor(std::string_view speechCode);

} // namespace engine
