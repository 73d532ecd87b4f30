#include "capture.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace qv::recorder {
namespace {

template <typename T>
std::vector<int16_t> convert(QAudioFormat::SampleFormat sf, int channels, std::vector<T> in) {
    QAudioFormat f;
    f.setSampleRate(48000);
    f.setChannelCount(channels);
    f.setSampleFormat(sf);
    return toMono16(f, reinterpret_cast<const char*>(in.data()), qint64(in.size()) / channels);
}

TEST(RecorderCapture, EveryDeviceFormatBecomesMono16) {
    EXPECT_EQ(convert<qint16>(QAudioFormat::Int16, 1, {0, -1, 32767, -32768}),
              (std::vector<int16_t>{0, -1, 32767, -32768}));
    EXPECT_EQ(convert<qint16>(QAudioFormat::Int16, 2, {16384, 0, 32767, -32767, -32768, -32768}),
              (std::vector<int16_t>{8192, 0, -32768}));
    EXPECT_EQ(convert<float>(QAudioFormat::Float, 1, {0.5f, -0.25f, 2.0f, -3.0f}),
              (std::vector<int16_t>{16384, -8192, 32767, -32768}));
    EXPECT_EQ(convert<float>(QAudioFormat::Float, 2, {0.25f, 0.75f}),
              (std::vector<int16_t>{16384}));
    // 2147444326 / 65536 is 32767.6: it must not round up past the top and wrap around.
    EXPECT_EQ(convert<qint32>(QAudioFormat::Int32, 1, {1 << 30, INT32_MIN, 2147444326}),
              (std::vector<int16_t>{16384, -32768, 32767}));
    EXPECT_EQ(convert<quint8>(QAudioFormat::UInt8, 1, {128, 255, 0, 192}),
              (std::vector<int16_t>{0, 32512, -32768, 16384}));
}

TEST(RecorderCapture, OnlyTheFramesAskedForAreRead) {
    QAudioFormat f;
    f.setSampleRate(8000);
    f.setChannelCount(2);
    f.setSampleFormat(QAudioFormat::Int16);
    const qint16 in[] = {2, 4, 6, 8, 99};
    EXPECT_EQ(toMono16(f, reinterpret_cast<const char*>(in), 2), (std::vector<int16_t>{3, 7}));
    EXPECT_TRUE(toMono16(f, reinterpret_cast<const char*>(in), 0).empty());
}

}  // namespace
}  // namespace qv::recorder
