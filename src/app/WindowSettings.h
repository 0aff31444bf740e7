#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// The settings the main window restores at creation and writes back on close.
class WindowSettings {
public:
    // What creation restores, in the order it is read. A value stored with
    // the wrong type ends the reading: error holds its message and the
    // values from it on stay unset.
    struct Restored {
        std::optional<int32_t> sourceLanguage;
        std::optional<int32_t> targetLanguage;
        std::optional<int32_t> engine;
        std::optional<int32_t> face;
        QString error;
    };

    // The look to build the window with (1..3), known before the controls
    // exist: what Restore will give, or the first look.
    static int StoredFace();

    // Nothing when the settings cannot be opened.
    std::optional<Restored> Restore();

    // The two list positions, the engine as Restore read it (the engine menu
    // stores a new choice at once, under its own name) and two values nothing
    // changes. Nothing is written when the settings cannot be opened.
    void Save(int32_t sourceLanguage, int32_t targetLanguage) const;

private:
    int32_t restoredEngine_ = 0; // "OCRServer": 0 until the engine was read
    int32_t ocrLanguage_ = 0;
    QString ocrPath_;
};
