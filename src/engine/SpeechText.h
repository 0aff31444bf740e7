#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace engine {

// The text as the speech library may see it for the voice of a catalogue
// speech code: nothing when it is not valid UTF-8 (overlong forms, surrogates
// and truncated sequences included). The voice's own script, ASCII and common
// signs stay; full-width ASCII becomes ASCII; every other character becomes a
// space, control characters but tab and line breaks included: the library
// takes Ctrl-A sequences as commands ("\x01" "0A" silences the speech), and
// it reads freed memory on some mixes of scripts.
std::optional<std::string> SpeakableText(std::string_view utf8, std::string_view speechCode);

// The catalogue speech code for the script most of the text is written in:
// "zh" for Han, "jp" once there is kana, "kor", "ru", "el", "ara", "th"; "en"
// for Latin and for text without letters. Invalid bytes and characters of
// other scripts count for nothing.
std::string_view SpeechCodeForScript(std::string_view utf8);

} // namespace engine
