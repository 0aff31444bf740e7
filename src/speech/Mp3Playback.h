#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>

class QObject;

// The seam between the player and the sound system. The sound system (and the
// dozens of libraries behind it) lives in a module loaded on the first
// playback, so a start without reading aloud never maps it.
struct Mp3PlaybackEvents {
    std::function<void(qint64 durationMs)> loaded;
    // Called exactly once per playback.
    std::function<void(bool played, qint64 lastPositionMs)> finished;
};

// Starts one playback owned by owner; returns at once.
using Mp3PlayFunction = void (*)(QObject* owner, const QString& absolutePath,
                                 Mp3PlaybackEvents events);

inline constexpr const char* kMp3PlaySymbol = "QuillPlayMp3";
inline constexpr const char* kMp3ModuleName = "quillmate_mp3";

// Loads the module once and returns its entry point, or nullptr when it cannot
// be found or loaded (the reason is in errorText).
Mp3PlayFunction LoadMp3Playback(QString* errorText = nullptr);
