#include "wav_reader.h"

#include <QFile>

#include <algorithm>

namespace qv::recorder {

namespace {

constexpr quint16 kFormatPcm = 1;
constexpr quint16 kFormatExtensible = 0xFFFE;
constexpr int kMaxChannels = 32;
constexpr quint32 kMaxRate = 768000;
// Spoken attachments are far smaller; this only keeps a wrong --wav argument from filling memory.
constexpr qint64 kMaxFileBytes = qint64(1) << 31;

quint16 le16(const char* p) { return quint16(quint8(p[0]) | (quint8(p[1]) << 8)); }

quint32 le32(const char* p) {
    return quint32(quint8(p[0])) | (quint32(quint8(p[1])) << 8) | (quint32(quint8(p[2])) << 16) |
           (quint32(quint8(p[3])) << 24);
}

bool setError(QString* error, const QString& message) {
    if (error) *error = message;
    return false;
}

}  // namespace

bool parseWav(const QByteArray& bytes, qint64 maxSeconds, PcmAudio* out, QString* error) {
    const qint64 size = bytes.size();
    const char* base = bytes.constData();
    if (size < 12 || bytes.first(4) != "RIFF" || bytes.sliced(8, 4) != "WAVE") {
        return setError(error, QStringLiteral("not a RIFF WAVE file"));
    }

    bool haveFormat = false;
    quint16 channels = 0;
    quint32 rate = 0;
    qint64 dataOffset = -1;
    qint64 dataBytes = 0;

    // Chunks may come in any order; fmt after data is legal if unusual.
    qint64 pos = 12;
    while (pos + 8 <= size) {
        const QByteArray id = bytes.sliced(pos, 4);
        const qint64 chunkSize = le32(base + pos + 4);
        const qint64 body = pos + 8;
        const qint64 available = std::min(chunkSize, size - body);
        if (id == "fmt ") {
            if (available < 16) return setError(error, QStringLiteral("fmt chunk is too short"));
            const char* f = base + body;
            quint16 tag = le16(f);
            channels = le16(f + 2);
            rate = le32(f + 4);
            const quint16 bits = le16(f + 14);
            if (tag == kFormatExtensible && available >= 26) tag = le16(f + 24);
            if (tag != kFormatPcm) {
                return setError(error, QStringLiteral("only PCM WAV files can be read"));
            }
            if (bits != 16) {
                return setError(
                    error, QStringLiteral("only 16-bit samples can be read, not %1").arg(bits));
            }
            if (channels == 0 || channels > kMaxChannels) {
                return setError(error, QStringLiteral("bad channel count %1").arg(channels));
            }
            if (rate == 0 || rate > kMaxRate) {
                return setError(error, QStringLiteral("bad sample rate %1").arg(rate));
            }
            haveFormat = true;
        } else if (id == "data" && dataOffset < 0) {
            dataOffset = body;
            dataBytes = available;
        }
        // Chunks are padded to an even length.
        pos = body + chunkSize + (chunkSize & 1);
    }

    if (!haveFormat) return setError(error, QStringLiteral("no fmt chunk"));
    if (dataOffset < 0) return setError(error, QStringLiteral("no data chunk"));

    // The header's block alignment is sometimes wrong; 16-bit samples fix the frame size anyway.
    const qint64 frameBytes = qint64(channels) * 2;
    const qint64 frames = std::min(dataBytes / frameBytes, std::max<qint64>(maxSeconds, 0) * rate);
    out->sampleRate = int(rate);
    out->samples.resize(size_t(frames));
    const char* p = base + dataOffset;
    for (qint64 i = 0; i < frames; ++i) {
        qint64 sum = 0;
        for (int c = 0; c < channels; ++c, p += 2) sum += qint16(le16(p));
        out->samples[size_t(i)] = qint16(sum / channels);
    }
    return true;
}

bool readWavFile(const QString& path, qint64 maxSeconds, PcmAudio* out, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return setError(error, QStringLiteral("cannot open %1: %2").arg(path, file.errorString()));
    }
    if (file.size() > kMaxFileBytes)
        return setError(error, QStringLiteral("%1 is too large").arg(path));
    QString why;
    if (!parseWav(file.readAll(), maxSeconds, out, &why)) {
        return setError(error, QStringLiteral("%1: %2").arg(path, why));
    }
    return true;
}

}  // namespace qv::recorder
