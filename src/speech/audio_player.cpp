#include "speech/audio_player.h"

#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QUrl>

#include <cstdio>

namespace qv {

MediaAudioPlayer::MediaAudioPlayer() = default;

MediaAudioPlayer::~MediaAudioPlayer() {
    if (player_) player_->stop();
}

bool MediaAudioPlayer::play(const QString& path) {
    if (!QFileInfo(path).isFile()) return false;
    // Made at the first voice message: a session that plays none never opens the output.
    if (!player_) {
        output_ = std::make_unique<QAudioOutput>();
        player_ = std::make_unique<QMediaPlayer>();
        player_->setAudioOutput(output_.get());
        QObject::connect(player_.get(), &QMediaPlayer::errorOccurred, player_.get(),
                         [](QMediaPlayer::Error, const QString& why) {
                             std::fprintf(stderr, "quorvel: cannot play the voice message: %s\n",
                                          qUtf8Printable(why));
                         });
    }
    player_->stop();
    player_->setSource(QUrl::fromLocalFile(path));
    player_->play();
    return true;
}

}  // namespace qv
