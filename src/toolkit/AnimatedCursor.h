#pragma once

// Plays the animated cursors that anicodec reads: frames become QCursors on
// a timer with the file's own rates.

#include "anicodec/AniCodec.h"

#include <QCursor>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <memory>
#include <vector>

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
