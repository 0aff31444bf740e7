#pragma once

#include <QObject>
#include <QString>

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

signals:
    // Once a recording's length is known from decoding it.
    void Loaded(const QString& path, qint64 durationMs);
    // When a player closes: played is true when the end of the recording was
    // reached, lastPositionMs is where decoding stopped. A signal, so that a
    // caller with a read-only view of the player can follow it too.
    void Finished(const QString& path, bool played, qint64 lastPositionMs);

private:
    void Finish(const QString& path, bool played, qint64 position);

    int active_ = 0;
};
