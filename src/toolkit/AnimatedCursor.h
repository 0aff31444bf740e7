#pragma once

// Animated cursors in the RIFF "ACON" (.ani) format: a reader that decodes
// every frame up front (so a damaged file is refused at load), a writer used by
// our cursor generator, and an animator that turns the frames into QCursors on
// a timer with the file's own rates.

#include <QByteArray>
#include <QByteArrayView>
#include <QCursor>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <memory>
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

// Plays one animated cursor: over the whole program while shown on screen,
// and over the controls attached to it while the mouse is on them. The timer
// only runs while something shows the cursor.
class TAnimatedCursor : public QObject {
    Q_OBJECT
public:
    explicit TAnimatedCursor(TAniCursorData data, QObject* parent = nullptr);
    ~TAnimatedCursor() override;

    // Null when the file is missing or damaged.
    static std::unique_ptr<TAnimatedCursor> LoadFromFile(const QString& path,
                                                         QObject* parent = nullptr);

    const TAniCursorData& Data() const { return data_; }
    int CurrentStep() const { return step_; }
    // The cursor of the current step; frames become QCursors only when first
    // shown, which keeps loading free of pixmap work.
    QCursor CurrentCursor();

    // Pushes the cursor as the application's override cursor, or pops it.
    void SetOnScreen(bool on);
    bool OnScreen() const { return onScreen_; }

    void Attach(QWidget* control);
    void Detach(QWidget* control);
    bool IsAnimating() const { return timer_.isActive(); }

    // Moves to the next step at once (the timer's work; tests call it).
    void Advance();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void UpdateTimer();
    void Apply();

    TAniCursorData data_;
    std::vector<QCursor> cursors_; // per frame, made on first use
    std::vector<bool> made_;
    std::vector<QPointer<QWidget>> controls_;
    QPointer<QWidget> hovered_;
    QTimer timer_;
    int step_ = 0;
    bool onScreen_ = false;
};
