#include "desktop/Hotkey.h"

#include <QKeySequence>

namespace {

// The core protocol's modifier bits.
constexpr uint16_t kShift = 1 << 0, kControl = 1 << 2, kMod1 = 1 << 3, kMod4 = 1 << 6;

std::optional<uint32_t> KeysymOf(int key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return uint32_t('a' + (key - Qt::Key_A)); // X names letters by their small form
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return uint32_t(0xFFBE + (key - Qt::Key_F1));
    if (key > 0x20 && key < 0x7F)
        return uint32_t(key);
    switch (key) {
    case Qt::Key_Space:
        return 0x20;
    case Qt::Key_Print:
        return 0xFF61;
    case Qt::Key_Insert:
        return 0xFF63;
    case Qt::Key_Pause:
        return 0xFF13;
    default:
        return std::nullopt;
    }
}

} // namespace

std::optional<KeyChord> ParseHotkey(const QString& text) {
    const QKeySequence sequence =
        QKeySequence::fromString(text.trimmed(), QKeySequence::PortableText);
    if (sequence.count() != 1)
        return std::nullopt;
    const QKeyCombination combination = sequence[0];
    const Qt::KeyboardModifiers mods = combination.keyboardModifiers();
    const std::optional<uint32_t> keysym = KeysymOf(combination.key());
    if (!keysym || mods == Qt::NoModifier || combination.key() == Qt::Key_unknown)
        return std::nullopt;
    KeyChord chord{*keysym, 0};
    if (mods & Qt::ShiftModifier)
        chord.modifiers |= kShift;
    if (mods & Qt::ControlModifier)
        chord.modifiers |= kControl;
    if (mods & Qt::AltModifier)
        chord.modifiers |= kMod1;
    if (mods & Qt::MetaModifier)
        chord.modifiers |= kMod4;
    return chord;
}
