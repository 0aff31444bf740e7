#include "speech/Mp3Player.h"

#include "speech/Mp3Playback.h"

#include <QFileInfo>
#include <QPointer>

namespace {

// Qt's FFmpeg media backend crashes when the machine has no audio device; the
// GStreamer one plays into nothing. A user's own choice is kept.
void ChooseMediaBackend() {
    if (!qEnvironmentVariableIsSet("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "gstreamer");
}

} // namespace

TMp3Player::TMp3Player(QObject* owner) : QObject(owner) {
    ChooseMediaBackend();
}

TMp3Player::~TMp3Player() = default;

void TMp3Player::PlayMp3File(const QString& path) {
    // A missing file would only produce a backend error later; skip the work.
    if (!QFileInfo(path).isFile())
        return;
    const Mp3PlayFunction play = LoadMp3Playback();
    ++active_;
    if (!play) {
        // No sound system to play with: silent, and closed at once.
        Finish(path, false, 0);
        return;
    }
    // Players are our children; while we are being destroyed their last
    // events must not reach us.
    QPointer<TMp3Player> self(this);
    Mp3PlaybackEvents events;
    events.loaded = [self, path](qint64 duration) {
        if (self)
            emit self->Loaded(path, duration);
    };
    events.finished = [self, path](bool played, qint64 position) {
        if (self)
            self->Finish(path, played, position);
    };
    play(this, QFileInfo(path).absoluteFilePath(), std::move(events));
}

void TMp3Player::Finish(const QString& path, bool played, qint64 position) {
    --active_;
    emit Finished(path, played, position);
}
