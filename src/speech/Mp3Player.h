#pragma once

#include <QObject>
#include <QString>
#include <functional>

// Plays mp3 files through the sound system. Every call gets its own player, so
// recordings may sound at the same time; a player is closed when its playback
// ends or fails. A file that cannot be played, or a machine without a sound
// device, stays silent: nothing is reported to the user.
class TMp3Player : public QObject {
    Q_OBJECT
public:
    explicit TMp3Player(QObject* owner = nullptr);
    ~TMp3Player() override;

    // Starts playing from the beginning and returns at once.
    void PlayMp3File(const QString& path);

    // Players still open (loading or playing).
    int ActiveCount() const { return active_; }

    // Raised once a recording's length is known from decoding it.
    std::function<void(TMp3Player* sender, const QString& path, qint64 durationMs)> OnLoaded;
    // Raised when a player closes: played is true when the end of the recording
    // was reached, lastPositionMs is where decoding stopped.
    std::function<void(TMp3Player* sender, const QString& path, bool played, qint64 lastPositionMs)>
        OnFinished;

private:
    void Finish(const QString& path, bool played, qint64 position);

    int active_ = 0;
};
