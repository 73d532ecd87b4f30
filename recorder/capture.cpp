#include "capture.h"

#include <QAudioSource>
#include <QEventLoop>
#include <QMediaDevices>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace qv::recorder {

namespace {

bool setError(QString* error, const QString& message) {
    if (error) *error = message;
    return false;
}

QAudioFormat monoInt16(int rate) {
    QAudioFormat f;
    f.setSampleRate(rate);
    f.setChannelCount(1);
    f.setSampleFormat(QAudioFormat::Int16);
    return f;
}

QString describe(QAudio::Error e) {
    switch (e) {
        case QAudio::OpenError:
            return QStringLiteral("the audio input cannot be opened");
        case QAudio::IOError:
            return QStringLiteral("reading the audio input failed");
        case QAudio::UnderrunError:
            return QStringLiteral("the audio input ran dry");
        case QAudio::FatalError:
            return QStringLiteral("the audio input failed");
        case QAudio::NoError:
            break;
    }
    return QStringLiteral("the audio input stopped");
}

}  // namespace

std::vector<int16_t> toMono16(const QAudioFormat& format, const char* data, qint64 frames) {
    std::vector<int16_t> out(size_t(std::max<qint64>(frames, 0)));
    const int channels = format.channelCount();
    const int bytesPerSample = format.bytesPerSample();
    // Qt's own normalisation maps unsigned 8-bit off centre (x / 127 - 1), so scale by hand.
    auto sample = [&format](const char* p) -> float {
        switch (format.sampleFormat()) {
            case QAudioFormat::UInt8:
                return float((int(quint8(*p)) - 128) * 256);
            case QAudioFormat::Int16: {
                qint16 v;
                std::memcpy(&v, p, sizeof v);
                return v;
            }
            case QAudioFormat::Int32: {
                qint32 v;
                std::memcpy(&v, p, sizeof v);
                return float(v) / 65536.0f;
            }
            case QAudioFormat::Float: {
                float v;
                std::memcpy(&v, p, sizeof v);
                return v * 32767.0f;
            }
            default:
                return 0;
        }
    };
    for (size_t i = 0; i < out.size(); ++i) {
        float sum = 0;
        for (int c = 0; c < channels; ++c) {
            sum += sample(data);
            data += bytesPerSample;
        }
        // Round before clamping: 32767.6 must not round up past the top and wrap around.
        out[i] = int16_t(std::clamp<long>(std::lround(sum / float(channels)), -32768, 32767));
    }
    return out;
}

DeviceCapture::DeviceCapture(const CaptureTiming& timing)
    : timing_(timing), watchdog_(timing.stuckExitCode) {}

bool DeviceCapture::prepare(int wantedRate, QString* error) {
    watchdog_.arm(std::chrono::milliseconds(timing_.firstDataMs),
                  QStringLiteral("the audio system does not answer"));
    const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
    watchdog_.disarm();
    if (inputs.isEmpty()) return setError(error, QStringLiteral("no audio input device"));
    device_ = QMediaDevices::defaultAudioInput();
    if (device_.isNull()) device_ = inputs.first();

    const QAudioFormat wanted = monoInt16(wantedRate);
    const QAudioFormat preferredRate = monoInt16(device_.preferredFormat().sampleRate());
    if (device_.isFormatSupported(wanted)) {
        format_ = wanted;
    } else if (preferredRate.isValid() && device_.isFormatSupported(preferredRate)) {
        format_ = preferredRate;
    } else {
        format_ = device_.preferredFormat();
    }
    if (!format_.isValid() || format_.sampleRate() <= 0) {
        return setError(error, QStringLiteral("the audio input offers no usable format"));
    }
    return true;
}

bool DeviceCapture::record(int seconds, const Sink& sink, QString* error) {
    const qint64 target = qint64(seconds) * format_.sampleRate();
    const int frameBytes = format_.bytesPerFrame();
    qint64 captured = 0;
    bool done = false;
    QString failure;
    QByteArray pending;
    QEventLoop loop;

    auto stop = [&](const QString& why) {
        if (done) return;
        done = true;
        failure = why;
        loop.quit();
    };

    auto source = std::make_unique<QAudioSource>(device_, format_);
    // Closing the stream can block as opening can, so it stays under the watchdog until done.
    auto release = [&] {
        QObject::disconnect(source.get(), nullptr, &loop, nullptr);
        watchdog_.arm(std::chrono::milliseconds(timing_.firstDataMs),
                      QStringLiteral("the audio input does not stop"));
        // Destroying a running Qt 6.4 PulseAudio source without stop() first aborts inside
        // libpulse: its destructor runs a posted read on the freed stream.
        source->stop();
        source.reset();
        watchdog_.disarm();
    };

    watchdog_.arm(std::chrono::milliseconds(timing_.firstDataMs),
                  QStringLiteral("the audio input does not start"));
    QIODevice* io = source->start();
    if (!io || source->error() != QAudio::NoError) {
        const QAudio::Error e = source->error();
        release();
        return setError(error, describe(e == QAudio::NoError ? QAudio::OpenError : e));
    }

    QObject::connect(io, &QIODevice::readyRead, &loop, [&] {
        if (done) return;
        pending += io->readAll();
        const qint64 frames = std::min<qint64>(pending.size() / frameBytes, target - captured);
        if (frames <= 0) return;
        const std::vector<int16_t> mono = toMono16(format_, pending.constData(), frames);
        pending.remove(0, frames * frameBytes);
        captured += frames;
        QString why;
        if (!sink(mono.data(), mono.size(), &why)) return stop(why);
        if (captured >= target) stop(QString());
    });
    QObject::connect(source.get(), &QAudioSource::stateChanged, &loop, [&](QAudio::State state) {
        if (source->error() != QAudio::NoError) {
            stop(describe(source->error()));
        } else if (state == QAudio::StoppedState) {
            stop(describe(QAudio::NoError));
        }
    });

    // A server that accepts the stream but never sends anything would otherwise hang the client.
    QTimer::singleShot(timing_.firstDataMs, &loop, [&] {
        if (captured == 0) stop(QStringLiteral("no sound arrives from the audio input"));
    });
    const qint64 limitMs = qint64(seconds) * 2000 + timing_.slackMs;
    // Only a backstop: the timers below give the precise message unless the event loop is stuck.
    watchdog_.arm(std::chrono::milliseconds(limitMs + timing_.firstDataMs),
                  QStringLiteral("the audio input stopped responding"));
    QTimer::singleShot(std::chrono::milliseconds(limitMs), &loop, [&] {
        stop(QStringLiteral("the audio input delivered only %1 of %2 seconds")
                 .arg(double(captured) / format_.sampleRate(), 0, 'f', 1)
                 .arg(seconds));
    });

    if (!done) loop.exec();
    release();
    if (!failure.isEmpty()) return setError(error, failure);
    return true;
}

}  // namespace qv::recorder
