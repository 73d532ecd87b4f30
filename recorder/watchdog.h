#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace qv::recorder {

// Ends the process with a message when a deadline passes. Qt's PulseAudio source can block inside
// QAudioSource::start() for ever (a suspended source never becomes ready), where no timer of the
// event loop can fire; the mail client waits for us, so we must end on our own.
class Watchdog {
  public:
    explicit Watchdog(int exitCode);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // Replaces any earlier deadline.
    void arm(std::chrono::milliseconds timeout, const QString& message);
    void disarm();

  private:
    void watch();

    const int exitCode_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool armed_ = false;
    bool quit_ = false;
    std::chrono::steady_clock::time_point deadline_;
    QByteArray message_;
    std::thread thread_;
};

}  // namespace qv::recorder
