// Built as a loadable module: the only code that links the media libraries.
#include "speech/Mp3Playback.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QUrl>
#include <memory>

namespace {

void Close(QMediaPlayer* player, const std::shared_ptr<Mp3PlaybackEvents>& events, bool played) {
    // Both an error and an invalid status may arrive for one file; close once.
    if (player->property("quillClosed").toBool())
        return;
    player->setProperty("quillClosed", true);
    const qint64 position = player->position();
    player->disconnect();
    player->stop();
    // The backend may still be inside one of its own calls: delete later.
    player->deleteLater();
    if (events->finished)
        events->finished(played, position);
}

} // namespace

extern "C" Q_DECL_EXPORT void QuillPlayMp3(QObject* owner, const QString& absolutePath,
                                           Mp3PlaybackEvents events) {
    auto shared = std::make_shared<Mp3PlaybackEvents>(std::move(events));
    auto* player = new QMediaPlayer(owner);
    auto* output = new QAudioOutput(player);
    player->setAudioOutput(output);

    QObject::connect(player, &QMediaPlayer::durationChanged, player, [shared](qint64 duration) {
        if (duration > 0 && shared->loaded)
            shared->loaded(duration);
    });
    QObject::connect(player, &QMediaPlayer::mediaStatusChanged, player,
                     [player, shared](QMediaPlayer::MediaStatus status) {
                         if (status == QMediaPlayer::EndOfMedia)
                             Close(player, shared, true);
                         else if (status == QMediaPlayer::InvalidMedia)
                             Close(player, shared, false);
                     });
    QObject::connect(player, &QMediaPlayer::errorOccurred, player,
                     [player, shared](QMediaPlayer::Error) { Close(player, shared, false); });

    player->setSource(QUrl::fromLocalFile(absolutePath));
    player->setPosition(0);
    player->play();
}
