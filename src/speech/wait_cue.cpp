#include "speech/wait_cue.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>

namespace qv {

namespace {

// Quiet and short enough to sit under speech without masking it; the fades keep it from clicking.
constexpr double kToneHz = 740.0;
constexpr int kToneMs = 100;
constexpr int kFadeMs = 15;
constexpr double kLevel = 0.2;

}  // namespace

// ---------------------------------------------------------------------------------------------

ToneCueSound::ToneCueSound() = default;

ToneCueSound::~ToneCueSound() {
    if (sink_) sink_->stop();
}

QByteArray ToneCueSound::makeTone(int sampleRate) {
    const int frames = sampleRate * kToneMs / 1000;
    const int fade = std::max(1, sampleRate * kFadeMs / 1000);
    QByteArray pcm(frames * 2, Qt::Uninitialized);
    auto* out = reinterpret_cast<uchar*>(pcm.data());
    for (int i = 0; i < frames; ++i) {
        // Raised-cosine edges: no step at either end of the tone.
        double gain = 1.0;
        if (i < fade) {
            gain = 0.5 - 0.5 * std::cos(std::numbers::pi * i / fade);
        } else if (i >= frames - fade) {
            gain = 0.5 - 0.5 * std::cos(std::numbers::pi * (frames - 1 - i) / fade);
        }
        const double s = std::sin(2.0 * std::numbers::pi * kToneHz * i / sampleRate);
        const auto v = static_cast<int16_t>(std::lround(s * gain * kLevel * 32767.0));
        qToLittleEndian<int16_t>(v, out + 2 * i);
    }
    return pcm;
}

bool ToneCueSound::prepare() {
    if (tried_) return sink_ != nullptr;
    tried_ = true;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        std::fprintf(stderr, "quorvel: no audio output: the waiting cue stays silent\n");
        return false;
    }
    QAudioFormat format;
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    format.setSampleRate(48000);
    if (!device.isFormatSupported(format)) {
        format.setSampleRate(44100);
        if (!device.isFormatSupported(format)) {
            const int preferred = device.preferredFormat().sampleRate();
            format.setSampleRate(preferred > 0 ? preferred : 44100);
            if (!device.isFormatSupported(format)) {
                std::fprintf(stderr,
                             "quorvel: the audio output cannot play 16-bit mono: the waiting cue "
                             "stays silent\n");
                return false;
            }
        }
    }
    pcm_ = makeTone(format.sampleRate());
    buffer_ = std::make_unique<QBuffer>(&pcm_);
    buffer_->open(QIODevice::ReadOnly);
    sink_ = std::make_unique<QAudioSink>(device, format);
    // Once the tone has run out the output is given back rather than kept open between cues.
    QObject::connect(sink_.get(), &QAudioSink::stateChanged, sink_.get(),
                     [sink = sink_.get()](QAudio::State state) {
                         if (state == QAudio::IdleState) sink->stop();
                     });
    return true;
}

void ToneCueSound::play() {
    if (!prepare()) return;
    // A cue still sounding (a stalled output) is cut rather than queued behind.
    sink_->stop();
    buffer_->seek(0);
    sink_->start(buffer_.get());
}

bool ToneCueSound::sounding() const { return sink_ && sink_->state() == QAudio::ActiveState; }

// ---------------------------------------------------------------------------------------------

WaitCue::WaitCue(std::unique_ptr<CueSound> sound, int delayMs, int intervalMs)
    : sound_(std::move(sound)),
      delayMs_(std::max(0, delayMs)),
      intervalMs_(std::max(1, intervalMs)),
      timer_(std::make_unique<QTimer>()) {
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setSingleShot(true);
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] { tick(); });
}

WaitCue::~WaitCue() { timer_->stop(); }

void WaitCue::setEnabled(bool on) {
    if (enabled_ == on) return;
    enabled_ = on;
    if (!on) {
        timer_->stop();
    } else if (depth_ > 0) {
        nextBeatMs_ = beatAfter(since_.elapsed());
        arm();
    }
}

void WaitCue::begin() {
    if (depth_++ > 0) return;
    since_.start();
    nextBeatMs_ = delayMs_;
    if (enabled_) arm();
}

void WaitCue::end() {
    if (depth_ == 0) return;
    if (--depth_ > 0) return;
    timer_->stop();
}

// The wait's beats fall at delayMs and every intervalMs after it, counted from the outermost
// begin(), so a late timer neither drifts the beat nor makes up for a missed one with a burst.
qint64 WaitCue::beatAfter(qint64 ms) const {
    if (ms < delayMs_) return delayMs_;
    return delayMs_ + ((ms - delayMs_) / intervalMs_ + 1) * intervalMs_;
}

void WaitCue::arm() {
    timer_->start(static_cast<int>(std::max<qint64>(0, nextBeatMs_ - since_.elapsed())));
}

void WaitCue::tick() {
    if (depth_ == 0 || !enabled_) return;
    ++played_;
    if (sound_) sound_->play();
    // play() returns at once, but it must not be able to leave the timer running past end().
    if (depth_ == 0 || !enabled_) return;
    nextBeatMs_ = beatAfter(std::max(nextBeatMs_, since_.elapsed()));
    arm();
}

}  // namespace qv
