#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace qv::recorder {

struct PcmAudio {
    int sampleRate = 0;
    std::vector<int16_t> samples;  // mono
};

// Reads 16-bit PCM from a RIFF WAV image, mixing all channels down to mono and keeping at most
// the first maxSeconds. A data chunk cut short by a truncated file yields the whole frames present.
bool parseWav(const QByteArray& bytes, qint64 maxSeconds, PcmAudio* out, QString* error);

bool readWavFile(const QString& path, qint64 maxSeconds, PcmAudio* out, QString* error);

}  // namespace qv::recorder
