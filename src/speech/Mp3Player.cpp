#include "speech/Mp3Player.h"

#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QPointer>
#include <QUrl>

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
    auto* player = new QMediaPlayer(this);
    auto* output = new QAudioOutput(player);
    player->setAudioOutput(output);
    ++active_;

    connect(player, &QMediaPlayer::durationChanged, this, [this, path](qint64 duration) {
        if (duration > 0 && OnLoaded)
            OnLoaded(this, path, duration);
    });
    connect(player, &QMediaPlayer::mediaStatusChanged, this,
            [this, player, path](QMediaPlayer::MediaStatus status) {
                if (status == QMediaPlayer::EndOfMedia)
                    Close(player, path, true);
                else if (status == QMediaPlayer::InvalidMedia)
                    Close(player, path, false);
            });
    connect(player, &QMediaPlayer::errorOccurred, this,
            [this, player, path](QMediaPlayer::Error) { Close(player, path, false); });

    player->setSource(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    player->setPosition(0);
    player->play();
}

void TMp3Player::Close(QMediaPlayer* player, const QString& path, bool played) {
    // Both an error and an invalid status may arrive for one file; close once.
    if (player->property("quillClosed").toBool())
        return;
    player->setProperty("quillClosed", true);
    const qint64 position = player->position();
    player->disconnect(this);
    player->stop();
    // The backend may still be inside one of its own calls: delete later.
    player->deleteLater();
    --active_;
    if (OnFinished)
        OnFinished(this, path, played, position);
}
