#pragma once

// Test-side writer of the recorder's input and reader of its output, written apart from the
// recorder's own code so that a fault there cannot hide itself in both places.

#include <QByteArray>
#include <QString>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace qv::recorder::test {

template <typename T>
void appendLE(QByteArray& b, T v) {
    char le[sizeof(T)];
    qToLittleEndian(v, le);
    b.append(le, sizeof(T));
}

// A 16-bit PCM WAV: the same sine on every channel, at freqB from switchAt seconds on.
inline QByteArray makeWav(int rate, int channels, double seconds, double freq,
                          double switchAt = 1e9, double freqB = 0) {
    QByteArray data;
    double phase = 0;
    for (qint64 i = 0; i < qint64(std::llround(rate * seconds)); ++i) {
        const auto v = qint16(std::lround(12000 * std::sin(phase)));
        phase += 2 * M_PI * (double(i) / rate < switchAt ? freq : freqB) / rate;
        for (int c = 0; c < channels; ++c) appendLE(data, v);
    }
    QByteArray h("RIFF");
    appendLE(h, quint32(36 + data.size()));
    h.append("WAVEfmt ");
    appendLE(h, quint32(16));
    appendLE(h, quint16(1));
    appendLE(h, quint16(channels));
    appendLE(h, quint32(rate));
    appendLE(h, quint32(rate * channels * 2));
    appendLE(h, quint16(channels * 2));
    appendLE(h, quint16(16));
    h.append("data");
    appendLE(h, quint32(data.size()));
    return h + data;
}

struct Mp3Frame {
    int version = 0;  // 10 = MPEG-1, 20 = MPEG-2, 25 = MPEG-2.5
    int kbps = 0;
    int rate = 0;
    int samples = 0;
    bool mono = false;
};

struct Mp3Probe {
    QString error;  // empty when every byte belongs to a valid Layer III frame
    std::vector<Mp3Frame> frames;
    bool infoTag = false;  // the first frame is a Xing/Info frame, not audio
    qint64 tagFrames = -1;
    int encoderDelay = -1;  // from a LAME tag
    int encoderPadding = -1;
    qint64 audioFrames() const { return qint64(frames.size()) - (infoTag ? 1 : 0); }
};

inline Mp3Probe probeMp3(const QByteArray& bytes) {
    static const int kbps1[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int kbps2[15] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static const int rates[3] = {44100, 48000, 32000};
    Mp3Probe p;
    const auto* d = reinterpret_cast<const unsigned char*>(bytes.constData());
    for (qint64 pos = 0; pos < bytes.size();) {
        const quint32 h = pos + 4 <= bytes.size() ? qFromBigEndian<quint32>(d + pos) : 0;
        const int ver = (h >> 19) & 3, layer = (h >> 17) & 3, bi = (h >> 12) & 15;
        const int ri = (h >> 10) & 3;
        if ((h >> 21) != 0x7FF || ver == 1 || layer != 1 || ri == 3 || bi == 0 || bi == 15) {
            p.error = QStringLiteral("no valid frame header at %1").arg(pos);
            return p;
        }
        Mp3Frame f;
        f.version = ver == 3 ? 10 : ver == 2 ? 20 : 25;
        f.kbps = (ver == 3 ? kbps1 : kbps2)[bi];
        f.rate = rates[ri] / (ver == 3 ? 1 : ver == 2 ? 2 : 4);
        f.samples = ver == 3 ? 1152 : 576;
        f.mono = ((h >> 6) & 3) == 3;
        const qint64 size = (ver == 3 ? 144 : 72) * f.kbps * 1000 / f.rate + ((h >> 9) & 1);
        if (pos + size > bytes.size()) {
            p.error = QStringLiteral("frame at %1 cut short").arg(pos);
            return p;
        }
        const qint64 x = pos + 4 + (ver == 3 ? (f.mono ? 17 : 32) : (f.mono ? 9 : 17));
        if (p.frames.empty() && (bytes.mid(x, 4) == "Xing" || bytes.mid(x, 4) == "Info")) {
            p.infoTag = true;
            const quint32 flags = qFromBigEndian<quint32>(d + x + 4);
            if (flags & 1) p.tagFrames = qFromBigEndian<quint32>(d + x + 8);
            const qint64 lame = x + 8 + (flags & 1 ? 4 : 0) + (flags & 2 ? 4 : 0) +
                                (flags & 4 ? 100 : 0) + (flags & 8 ? 4 : 0);
            if (lame + 24 <= pos + size && bytes.mid(lame, 4) == "LAME") {
                p.encoderDelay = (d[lame + 21] << 4) | (d[lame + 22] >> 4);
                p.encoderPadding = ((d[lame + 22] & 0x0F) << 8) | d[lame + 23];
            }
        }
        p.frames.push_back(f);
        pos += size;
    }
    if (p.frames.empty()) p.error = QStringLiteral("no frames");
    return p;
}

// Rising zero crossings per second over [from, to) seconds.
inline double dominantFrequency(const std::vector<int16_t>& s, int rate, double from, double to) {
    const size_t a = size_t(from * rate), b = std::min(s.size(), size_t(to * rate));
    int rising = 0;
    for (size_t i = a + 1; i < b; ++i) rising += s[i - 1] < 0 && s[i] >= 0;
    return b > a ? rising / (double(b - a) / rate) : 0;
}

}  // namespace qv::recorder::test
