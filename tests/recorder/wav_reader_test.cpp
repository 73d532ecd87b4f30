#include "wav_reader.h"

#include "recorder/mp3_probe.h"

#include <gtest/gtest.h>

namespace qv::recorder {
namespace {

using test::appendLE;

QByteArray chunk(const char* id, const QByteArray& body, qint64 claimed = -1) {
    QByteArray c(id, 4);
    appendLE(c, quint32(claimed < 0 ? body.size() : claimed));
    return c + body + QByteArray(body.size() & 1, '\0');  // chunks are padded to even lengths
}

QByteArray fmt(int channels, int rate, int bits = 16, int tag = 1) {
    QByteArray b;
    appendLE(b, quint16(tag));
    appendLE(b, quint16(channels));
    appendLE(b, quint32(rate));
    appendLE(b, quint32(rate * channels * bits / 8));
    appendLE(b, quint16(channels * bits / 8));
    appendLE(b, quint16(bits));
    return chunk("fmt ", b);
}

QByteArray pcm(std::initializer_list<int> values) {
    QByteArray b;
    for (int v : values) appendLE(b, qint16(v));
    return b;
}

QByteArray riff(const QByteArray& chunks) {
    QByteArray out("RIFF");
    appendLE(out, quint32(4 + chunks.size()));
    return out + "WAVE" + chunks;
}

TEST(RecorderWav, MixesChannelsDownAndSkipsForeignChunksInAnyOrder) {
    const QByteArray wav =
        riff(chunk("LIST", "abc") + chunk("data", pcm({1000, 3000, -32768, -32768, 100, -101})) +
             chunk("junk", QByteArray(10, 'j')) + fmt(2, 44100));
    PcmAudio a;
    QString error;
    ASSERT_TRUE(parseWav(wav, 10, &a, &error)) << error.toStdString();
    EXPECT_EQ(a.sampleRate, 44100);
    EXPECT_EQ(a.samples, (std::vector<int16_t>{2000, -32768, 0}));
}

TEST(RecorderWav, KeepsOnlyTheFirstSeconds) {
    const QByteArray wav = test::makeWav(1000, 2, 3.5, 50);
    PcmAudio a;
    ASSERT_TRUE(parseWav(wav, 2, &a, nullptr));
    EXPECT_EQ(a.samples.size(), 2000u);
    ASSERT_TRUE(parseWav(wav, 5, &a, nullptr));
    EXPECT_EQ(a.samples.size(), 3500u);
}

TEST(RecorderWav, RefusesWhatItCannotRead) {
    const QByteArray data = chunk("data", pcm({1, 2}));
    const QByteArray bad[] = {
        QByteArray(),
        QByteArray("RIFX\0\0\0\0WAVE", 12),
        riff(fmt(0, 8000) + data),
        riff(fmt(1, 0) + data),
        riff(fmt(1, 8000, 8) + data),
        riff(fmt(1, 8000, 32, 3) + data),  // float
        riff(chunk("fmt ", QByteArray(8, 1)) + data),
        riff(data),
        riff(fmt(1, 8000)),
    };
    for (const QByteArray& wav : bad) {
        PcmAudio a;
        QString error;
        EXPECT_FALSE(parseWav(wav, 1, &a, &error)) << wav.toHex().toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(RecorderWav, EveryTruncationYieldsAnErrorOrTheWholeFramesPresent) {
    // Stereo: the last cut frame is half there. The header keeps claiming a second of audio.
    const QByteArray wav = riff(chunk("LIST", QByteArray(7, 'x')) + fmt(2, 8000) +
                                chunk("data", pcm({1, 3, 5, 7, 9, 11}), 32000));
    const qsizetype dataStart = wav.size() - 12;
    for (qsizetype len = 0; len <= wav.size(); ++len) {
        const QByteArray cut(wav.constData(), len);  // a copy, so the sanitizers see overreads
        PcmAudio a;
        QString error;
        const bool ok = parseWav(cut, 10, &a, &error);
        EXPECT_EQ(ok, len >= dataStart) << len << error.toStdString();
        if (ok) {
            const std::vector<int16_t> all{2, 6, 10};
            EXPECT_EQ(a.samples,
                      std::vector<int16_t>(all.begin(), all.begin() + (len - dataStart) / 4))
                << len;
        }
    }
}

}  // namespace
}  // namespace qv::recorder
