#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

struct lame_global_struct;

namespace qv::recorder {

// Mono constant-bitrate MP3 from 16-bit samples, kept in memory: a spoken attachment is small.
class Mp3Encoder {
  public:
    struct Settings {
        int inputRate = 0;
        int outputRate = 0;
        int kbps = 0;
        int quality = 5;
    };

    Mp3Encoder() = default;
    ~Mp3Encoder();
    Mp3Encoder(const Mp3Encoder&) = delete;
    Mp3Encoder& operator=(const Mp3Encoder&) = delete;

    bool open(const Settings& settings, QString* error);
    bool encode(const int16_t* samples, size_t count, QString* error);
    // Flushes the encoder and puts the final LAME tag, which players use for the exact length,
    // in place of the empty frame LAME reserved for it at the start.
    bool finish(QString* error);

    const QByteArray& data() const { return mp3_; }

  private:
    lame_global_struct* lame_ = nullptr;
    QByteArray mp3_;
    bool finished_ = false;
};

}  // namespace qv::recorder
