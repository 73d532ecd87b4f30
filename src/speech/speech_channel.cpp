#include "speech/speech_channel.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>

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
    enqueue(normalise(text), true);
}

void SpeechChannel::speak_move(const QString& text) {
    if (text.isEmpty()) return;
    enqueue(normalise(text), true, true);
}

void SpeechChannel::repeat(const QString& text) {
    if (text.isEmpty()) return;
    enqueue(normalise(text), false);
}

bool SpeechChannel::repeatLast() {
    QString last;
    {
        std::lock_guard lock(mutex_);
        if (history_.empty()) return false;
        last = history_.back();
    }
    enqueue(last, false);
    return true;
}

void SpeechChannel::enqueue(QString said, bool remember, bool move) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        if (move) {
            // Under the same lock as the queuing: two moves from two threads must not both stay.
            ++moves_;
            std::erase_if(queue_, [](const Utterance& u) { return u.move; });
            if (current_ && currentIsMove_) current_->stop();
        }
        spoken_.append(said);
        if (spoken_.size() > kSpokenKept) spoken_.remove(0, spoken_.size() - kSpokenKept);
        if (remember) {
            history_.push_back(said);
            if (history_.size() > std::size_t(kHistoryKept)) history_.pop_front();
        }
        queue_.push_back({std::move(said), move});
    }
    changed_.notify_all();
}

QStringList SpeechChannel::history() const {
    std::lock_guard lock(mutex_);
    QStringList newestFirst;
    newestFirst.reserve(qsizetype(history_.size()));
    for (auto it = history_.rbegin(); it != history_.rend(); ++it) newestFirst.append(*it);
    return newestFirst;
}

void SpeechChannel::applySettings(const VoiceSettings& settings) {
    std::lock_guard lock(mutex_);
    settings_ = settings;
    settingsChanged_ = true;
}

VoiceSettings SpeechChannel::settings() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

QStringList SpeechChannel::voices() const {
    std::lock_guard lock(mutex_);
    return voices_;
}

int SpeechChannel::silenceCount() const {
    std::lock_guard lock(mutex_);
    return int(epoch_);
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
    ++epoch_;
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
            const QStringList voices = engine_->voices();
            std::lock_guard lock(mutex_);
            engineName_ = engine_->name();
            voices_ = voices;
            // A new engine has heard none of the user's settings yet.
            settingsChanged_ = true;
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
        bool move = false;
        std::function<void(const QString&)> hook;
        std::uint64_t epoch = 0;
        std::uint64_t moves = 0;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) break;
            text = std::move(queue_.front().text);
            move = queue_.front().move;
            queue_.pop_front();
            busy_ = true;
            hook = handOff_;
            epoch = epoch_;
            moves = moves_;
        }
        if (log.isOpen()) {
            log.write((asLine(text) + QLatin1Char('\n')).toUtf8());
            log.flush();
        }
        if (hook) hook(text);
        while (haveEngine) {
            std::optional<VoiceSettings> settings;
            {
                std::lock_guard lock(mutex_);
                // Silenced while it was being handed over: the user never wants to hear it.
                if (epoch != epoch_ || (move && moves != moves_)) break;
                if (settingsChanged_) {
                    settings = settings_;
                    settingsChanged_ = false;
                }
            }
            if (settings) engine_->applySettings(*settings);
            {
                std::lock_guard lock(mutex_);
                // Silenced, or overtaken by a newer move, while it was being handed over.
                if (epoch != epoch_ || (move && moves != moves_)) break;
                engine_->rearm();
                current_ = engine_.get();
                currentIsMove_ = move;
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
