#pragma once

#include <QAudioDevice>
#include <QAudioFormat>
#include <QByteArray>
#include <QString>

#include "watchdog.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace qv::recorder {

// Turns interleaved frames of any format Qt Multimedia delivers into mono 16-bit samples.
// Only whole frames are converted; the caller keeps the rest for the next chunk.
std::vector<int16_t> toMono16(const QAudioFormat& format, const char* data, qint64 frames);

struct CaptureTiming {
    int firstDataMs = 3000;  // a source that says nothing this long is treated as absent
    int slackMs = 10000;     // added to twice the recording length as a wall-clock bound
    int stuckExitCode = 3;   // when the audio library blocks past those bounds
};

// Records the default audio input until a given number of samples has arrived.
class DeviceCapture {
  public:
    // Receives each chunk of mono samples; false (with a message) stops the recording.
    using Sink = std::function<bool(const int16_t*, size_t, QString*)>;

    explicit DeviceCapture(const CaptureTiming& timing = CaptureTiming{});

    // Picks the input and a format it takes, preferring mono 16-bit at wantedRate so that the
    // encoder need not resample. False when there is no input device.
    bool prepare(int wantedRate, QString* error);
    int sampleRate() const { return format_.sampleRate(); }

    // Runs a local event loop until seconds * sampleRate() samples went to sink, or it failed.
    bool record(int seconds, const Sink& sink, QString* error);

  private:
    CaptureTiming timing_;
    Watchdog watchdog_;
    QAudioDevice device_;
    QAudioFormat format_;
};

}  // namespace qv::recorder
