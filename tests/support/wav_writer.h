#pragma once

// WAV files written by the tests (the recorder's input), apart from the recorder's own reader so
// that a fault cannot hide in both places.

#include <QByteArray>

#include <cmath>

namespace qv::test {

// v as n little-endian bytes.
inline QByteArray le(qint64 v, int n) {
    QByteArray b;
    for (int i = 0; i < n; ++i) b += char(v >> 8 * i);
    return b;
}

// A RIFF chunk, padded to an even length; its size field says `claimed` when that is given.
inline QByteArray chunk(const char* id, const QByteArray& body, qint64 claimed = -1) {
    return QByteArray(id, 4) + le(claimed < 0 ? body.size() : claimed, 4) + body +
           QByteArray(body.size() & 1, '\0');
}

inline QByteArray fmt(int channels, int rate, int bits = 16, int tag = 1) {
    return chunk("fmt ", le(tag, 2) + le(channels, 2) + le(rate, 4) +
                             le(rate * channels * bits / 8, 4) + le(channels * bits / 8, 2) +
                             le(bits, 2));
}

inline QByteArray riff(const QByteArray& chunks) {
    return "RIFF" + le(4 + chunks.size(), 4) + "WAVE" + chunks;
}

// A 16-bit PCM WAV: the same sine on every channel, at freqB from switchAt seconds on.
inline QByteArray makeWav(int rate, int channels, double seconds, double freq,
                          double switchAt = 1e9, double freqB = 0) {
    QByteArray data;
    double phase = 0;
    for (qint64 i = 0; i < qint64(std::llround(rate * seconds)); ++i) {
        data += le(std::lround(12000 * std::sin(phase)), 2).repeated(channels);
        phase += 2 * M_PI * (double(i) / rate < switchAt ? freq : freqB) / rate;
    }
    return riff(fmt(channels, rate) + chunk("data", data));
}

}  // namespace qv::test
