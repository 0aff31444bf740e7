#pragma once

// Animated cursors in the RIFF "ACON" (.ani) format: a reader that decodes
// every frame up front (so a damaged file is refused at load) and a writer
// used by our cursor generator. Bytes in, pictures out: no file, no widget.

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QPoint>
#include <QString>
#include <cstdint>
#include <vector>

struct TCursorFrame {
    QImage Image; // ARGB32 premultiplied
    QPoint HotSpot;
};

// One shown step: a frame index and how long it stays, in jiffies (1/60 s).
struct TCursorStep {
    int Frame = 0;
    int Jiffies = 1;
};

struct TAniCursorData {
    std::vector<TCursorFrame> Frames;
    std::vector<TCursorStep> Steps;
};

// What ReadAniCursor accepts. Real cursors are a few dozen frames of at most
// 256 x 256 in well under a MiB; these sit far above that, so only a hostile
// file meets them, and it is refused before it can make us allocate much.
namespace AniLimits {
inline constexpr qsizetype MaxFileBytes = 16 * 1024 * 1024;  // the whole .ani file
inline constexpr uint32_t MaxFrames = 1024;                  // frames in one file
inline constexpr int64_t MaxDecodedBytes = 64 * 1024 * 1024; // ARGB32 pixels of all frames
} // namespace AniLimits

// Decodes an .ani file. The frames may be .cur or .ico images in BMP form
// (1, 4, 8, 24 or 32 bits) or PNG. Every read is bounded by the data, and
// nothing beyond AniLimits is read or decoded; false (with a short reason)
// for anything damaged, unsupported or over a limit.
bool ReadAniCursor(QByteArrayView data, TAniCursorData& out, QString* error = nullptr);

// Writes frames as an .ani file of 32-bit .cur images. A "rate" chunk is
// written when the steps' durations differ, a "seq " chunk when the steps are
// not the frames in order.
QByteArray WriteAniCursor(const TAniCursorData& cursor);
