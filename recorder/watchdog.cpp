#include "watchdog.h"

#include <cstdio>
#include <cstdlib>

namespace qv::recorder {

Watchdog::Watchdog(int exitCode) : exitCode_(exitCode), thread_([this] { watch(); }) {}

Watchdog::~Watchdog() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void Watchdog::arm(std::chrono::milliseconds timeout, const QString& message) {
    {
        std::lock_guard lock(mutex_);
        armed_ = true;
        deadline_ = std::chrono::steady_clock::now() + timeout;
        message_ = message.toUtf8();
    }
    changed_.notify_all();
}

void Watchdog::disarm() {
    {
        std::lock_guard lock(mutex_);
        armed_ = false;
    }
    changed_.notify_all();
}

void Watchdog::watch() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
        if (!armed_) {
            changed_.wait(lock);
        } else if (changed_.wait_until(lock, deadline_) == std::cv_status::timeout && armed_ &&
                   !quit_ && std::chrono::steady_clock::now() >= deadline_) {
            std::fprintf(stderr, "waveIn: %s\n", message_.constData());
            std::fflush(stderr);
            // The main thread may be stuck inside the audio library: skip every destructor.
            std::_Exit(exitCode_);
        }
    }
}

}  // namespace qv::recorder
