#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// A global shortcut as X11 grabs it: a key symbol and the core modifier mask.
struct KeyChord {
    uint32_t keysym = 0;
    uint16_t modifiers = 0;
    bool operator==(const KeyChord&) const = default;
};

// "Ctrl+Alt+E" and the like (Ctrl, Alt, Shift, Meta; a letter, a digit,
// F1-F24 or a printable character). Nothing for text it cannot grab: an empty
// text, a key without modifier, an unknown key.
std::optional<KeyChord> ParseHotkey(const QString& text);
