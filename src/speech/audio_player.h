#pragma once

#include "core/opener.h"

#include <memory>

class QAudioOutput;
class QMediaPlayer;

namespace qv {

// Plays a received voice message through Qt Multimedia on the default audio output. A new one
// replaces one still playing. GUI thread only.
class MediaAudioPlayer : public AudioPlayer {
  public:
    MediaAudioPlayer();
    ~MediaAudioPlayer() override;

    bool play(const QString& path) override;

  private:
    std::unique_ptr<QAudioOutput> output_;
    std::unique_ptr<QMediaPlayer> player_;
};

}  // namespace qv
