#include "shell/core/speech_channel.h"

#include <QFile>

#include <chrono>
#include <cstdio>

namespace qv {

namespace {
// The transcript keeps the newest utterances; a long session must not grow without end.
constexpr qsizetype kSpokenKept = 100000;
}  // namespace

SpeechChannel::SpeechChannel(std::vector<SpeechEngineFactory> engines, QString logPath)
    : factories_(std::move(engines)), logPath_(std::move(logPath)) {
    thread_ = std::thread([this] { run(); });
}

SpeechChannel::~SpeechChannel() {
    if (!shutdown(2000) && thread_.joinable()) thread_.detach();
}

QString SpeechChannel::normalise(const QString& text) {
    QString out = text;
    out.replace(QLatin1Char('-'), QLatin1Char(' '));
    out.replace(QLatin1Char('='), QLatin1Char(' '));
    return out;
}

QString SpeechChannel::asLine(const QString& text) {
    QString line = text;
    line.replace(QLatin1String("\r\n"), QLatin1String("\\n"));
    line.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    line.replace(QLatin1Char('\r'), QLatin1String("\\n"));
    return line;
}

void SpeechChannel::speak(const QString& text) {
    if (text.isEmpty()) return;
    QString said = normalise(text);
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        spoken_.append(said);
        if (spoken_.size() > kSpokenKept) spoken_.remove(0, spoken_.size() - kSpokenKept);
        queue_.push_back(std::move(said));
    }
    changed_.notify_all();
}

QStringList SpeechChannel::spoken() const {
    std::lock_guard lock(mutex_);
    return spoken_;
}

int SpeechChannel::pending() const {
    std::lock_guard lock(mutex_);
    return int(queue_.size()) + (busy_ ? 1 : 0);
}

bool SpeechChannel::waitUntilIdle(int timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [this] { return (queue_.empty() && !busy_) || finished_; });
}

QString SpeechChannel::engineName() const {
    std::lock_guard lock(mutex_);
    return engineName_;
}

void SpeechChannel::setHandOffHook(std::function<void(const QString&)> hook) {
    std::lock_guard lock(mutex_);
    handOff_ = std::move(hook);
}

void SpeechChannel::silence() {
    std::lock_guard lock(mutex_);
    queue_.clear();
    if (current_) current_->stop();
    changed_.notify_all();
}

bool SpeechChannel::shutdown(int timeoutMs) {
    {
        std::lock_guard lock(mutex_);
        if (!thread_.joinable()) return true;
        stopping_ = true;
        queue_.clear();
        if (current_) current_->stop();
    }
    changed_.notify_all();
    std::unique_lock lock(mutex_);
    bool ended =
        changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return finished_; });
    lock.unlock();
    if (ended) thread_.join();
    return ended;
}

bool SpeechChannel::openNextEngine() {
    while (nextFactory_ < factories_.size()) {
        auto engine = factories_[nextFactory_++]();
        if (!engine) continue;
        QString why;
        if (engine->open(&why)) {
            engine_ = std::move(engine);
            std::lock_guard lock(mutex_);
            engineName_ = engine_->name();
            return true;
        }
        std::fprintf(stderr, "quorvel: speech engine %s unavailable: %s\n",
                     qUtf8Printable(engine->name()), qUtf8Printable(why));
    }
    return false;
}

void SpeechChannel::run() {
    QFile log(logPath_);
    if (!logPath_.isEmpty() && !log.open(QIODevice::Append | QIODevice::Text)) {
        std::fprintf(stderr, "quorvel: cannot write the speech log %s\n", qUtf8Printable(logPath_));
    }
    bool haveEngine = openNextEngine();
    for (;;) {
        QString text;
        std::function<void(const QString&)> hook;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) break;
            text = std::move(queue_.front());
            queue_.pop_front();
            busy_ = true;
            hook = handOff_;
        }
        if (log.isOpen()) {
            log.write((asLine(text) + QLatin1Char('\n')).toUtf8());
            log.flush();
        }
        if (hook) hook(text);
        while (haveEngine) {
            {
                std::lock_guard lock(mutex_);
                current_ = engine_.get();
            }
            QString why;
            bool ok = engine_->say(text, &why);
            {
                std::lock_guard lock(mutex_);
                current_ = nullptr;
            }
            if (ok) break;
            std::fprintf(stderr, "quorvel: speech engine %s failed: %s\n",
                         qUtf8Printable(engine_->name()), qUtf8Printable(why));
            engine_.reset();
            haveEngine = openNextEngine();
        }
        {
            std::lock_guard lock(mutex_);
            busy_ = false;
        }
        changed_.notify_all();
    }
    engine_.reset();
    {
        std::lock_guard lock(mutex_);
        busy_ = false;
        finished_ = true;
    }
    changed_.notify_all();
}

}  // namespace qv
