#include "speech/qt_tts_engine.h"

#include <QAudioDevice>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMediaDevices>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTextToSpeech>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <thread>

namespace qv {

namespace {

constexpr int kTickMs = 20;
// An engine that accepted say() but never started speaking had nothing to say in it.
constexpr int kNeverStartedMs = 2000;

struct Choice {
    bool ok = false;
    QString why;
    QLocale locale;
    QString voice;
};

// Waits, with this thread's events running, until tts leaves its initial state or the time is up.
bool waitUntilReady(QTextToSpeech& tts, int timeoutMs) {
    if (tts.state() == QTextToSpeech::Ready) return true;
    if (tts.state() == QTextToSpeech::Error) return false;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&tts, &QTextToSpeech::stateChanged, &loop, [&](QTextToSpeech::State s) {
        if (s == QTextToSpeech::Ready || s == QTextToSpeech::Error) loop.quit();
    });
    timer.start(timeoutMs);
    loop.exec();
    return tts.state() == QTextToSpeech::Ready;
}

// Picks the first voice that can read Japanese, leaving tts set to it.
Choice chooseJapanese(QTextToSpeech& tts, const QString& engine, const QString& module) {
    Choice choice;
    if (!waitUntilReady(tts, QtTtsEngine::kReadyTimeoutMs)) {
        choice.why = tts.state() == QTextToSpeech::Error
                         ? QStringLiteral("%1 failed to start: %2").arg(engine, tts.errorString())
                         : QStringLiteral("%1 did not become ready within %2 ms")
                               .arg(engine)
                               .arg(QtTtsEngine::kReadyTimeoutMs);
        return choice;
    }
    for (const QLocale& locale : tts.availableLocales()) {
        if (locale.language() != QLocale::Japanese) continue;
        tts.setLocale(locale);
        for (const QVoice& voice : tts.availableVoices()) {
            if (QtTtsEngine::isJapaneseVoice(engine, voice.name(), voice.locale(), module)) {
                tts.setVoice(voice);
                choice.ok = true;
                choice.locale = locale;
                choice.voice = voice.name();
                return choice;
            }
        }
    }
    choice.why = QStringLiteral("%1 has no voice that can read Japanese").arg(engine);
    return choice;
}

}  // namespace

QtTtsEngine::QtTtsEngine(QString qtEngine) : engine_(std::move(qtEngine)) {}

QtTtsEngine::~QtTtsEngine() {
    // Deleting an engine that stopped answering hangs; leaking it is the lesser harm.
    if (!wedged_) delete tts_;
}

bool QtTtsEngine::isJapaneseVoice(const QString& qtEngine, const QString& voiceName,
                                  const QLocale& locale, const QString& speechdModule) {
    if (locale.language() != QLocale::Japanese) return false;
    if (voiceName.contains(QLatin1String("espeak"), Qt::CaseInsensitive)) return false;
    if (qtEngine == QLatin1String("speechd") &&
        (speechdModule.isEmpty() ||
         speechdModule.startsWith(QLatin1String("espeak"), Qt::CaseInsensitive))) {
        return false;
    }
    return true;
}

QString QtTtsEngine::speechdModuleForJapanese(const QStringList& configFiles) {
    QStringList files = configFiles;
    if (files.isEmpty()) {
        files << QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                     QLatin1String("/speech-dispatcher/speechd.conf")
              << QStringLiteral("/etc/speech-dispatcher/speechd.conf");
    }
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    // speech-dispatcher reads the first configuration it finds and ignores the others.
    for (const QString& path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) continue;
        QString defaultModule;
        QString japaneseModule;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
            QStringList words = line.split(blanks, Qt::SkipEmptyParts);
            for (QString& w : words) w.remove(QLatin1Char('"'));
            if (words.size() >= 2 &&
                words[0].compare(QLatin1String("DefaultModule"), Qt::CaseInsensitive) == 0) {
                defaultModule = words[1];
            } else if (words.size() >= 3 &&
                       words[0].compare(QLatin1String("LanguageDefaultModule"),
                                        Qt::CaseInsensitive) == 0 &&
                       (words[1] == QLatin1String("ja") || words[1].startsWith("ja-") ||
                        words[1].startsWith("ja_"))) {
                japaneseModule = words[2];
            }
        }
        if (!japaneseModule.isEmpty()) return japaneseModule;
        if (!defaultModule.isEmpty()) return defaultModule;
        break;
    }
    return QStringLiteral("espeak-ng");
}

void QtTtsEngine::setRate(double rate) {
    std::lock_guard lock(settingsMutex_);
    rate_ = std::clamp(rate, -1.0, 1.0);
}

void QtTtsEngine::setVolume(double volume) {
    std::lock_guard lock(settingsMutex_);
    volume_ = std::clamp(volume, 0.0, 1.0);
}

bool QtTtsEngine::open(QString* why) {
    auto fail = [why](const QString& reason) {
        if (why) *why = reason;
        return false;
    };
    if (!QTextToSpeech::availableEngines().contains(engine_)) {
        return fail(QStringLiteral("Qt TextToSpeech has no %1 engine here").arg(engine_));
    }
    if (QMediaDevices::audioOutputs().isEmpty()) {
        return fail(QStringLiteral("no audio output (no sound card and no sound server)"));
    }
    const QString module =
        engine_ == QLatin1String("speechd") ? speechdModuleForJapanese() : QString();

    // The probe: construct, check for Japanese and destroy on a throw-away thread.
    struct Probe {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        Choice choice;
    };
    auto probe = std::make_shared<Probe>();
    std::thread([probe, engine = engine_, module] {
        Choice choice;
        {
            QTextToSpeech tts(engine);
            choice = chooseJapanese(tts, engine, module);
        }
        std::lock_guard lock(probe->mutex);
        probe->choice = choice;
        probe->finished = true;
        probe->done.notify_all();
    }).detach();
    Choice choice;
    {
        std::unique_lock lock(probe->mutex);
        // Construction, the wait for Ready and destruction together.
        if (!probe->done.wait_for(lock, std::chrono::milliseconds(kReadyTimeoutMs + 1500),
                                  [&] { return probe->finished; })) {
            return fail(QStringLiteral("%1 does not answer (left behind)").arg(engine_));
        }
        choice = probe->choice;
    }
    if (!choice.ok) return fail(choice.why);

    tts_ = new QTextToSpeech(engine_);
    const Choice mine = chooseJapanese(*tts_, engine_, module);
    if (!mine.ok) {
        // It answered the probe a moment ago; if it hangs now, better a leak than a hang.
        if (tts_->state() != QTextToSpeech::Error) wedged_ = true;
        if (!wedged_) delete tts_;
        tts_ = nullptr;
        return fail(mine.why);
    }
    voiceName_ = mine.voice;
    defaultVoice_ = mine.voice;
    QStringList names;
    for (const QVoice& voice : tts_->availableVoices()) {
        if (isJapaneseVoice(engine_, voice.name(), voice.locale(), module)) names << voice.name();
    }
    std::lock_guard lock(settingsMutex_);
    voiceNames_ = names;
    return true;
}

void QtTtsEngine::stop() { stopRequested_ = true; }

void QtTtsEngine::rearm() { stopRequested_ = false; }

void QtTtsEngine::applySettings(const VoiceSettings& settings) {
    // Qt's rate runs from -1 (half speed, roughly) through 0 to 1 (double speed).
    setRate(std::log2(std::max(settings.rate, 1) / 100.0));
    setVolume(settings.volume / 100.0);
    std::lock_guard lock(settingsMutex_);
    wantedVoice_ = settings.voice;
}

QStringList QtTtsEngine::voices() const {
    std::lock_guard lock(settingsMutex_);
    return voiceNames_;
}

bool QtTtsEngine::say(const QString& text, QString* why) {
    auto fail = [why](const QString& reason) {
        if (why) *why = reason;
        return false;
    };
    if (!tts_) return fail(QStringLiteral("%1 is not open").arg(engine_));
    if (wedged_) return fail(QStringLiteral("%1 stopped answering").arg(engine_));
    if (text.trimmed().isEmpty()) return true;
    {
        std::lock_guard lock(settingsMutex_);
        tts_->setRate(rate_);
        tts_->setVolume(volume_);
        const QString wanted = wantedVoice_.isEmpty() ? defaultVoice_ : wantedVoice_;
        if (wanted != voiceName_) {
            for (const QVoice& voice : tts_->availableVoices()) {
                if (voice.name() == wanted) {
                    tts_->setVoice(voice);
                    voiceName_ = wanted;
                    break;
                }
            }
        }
    }

    enum class End { None, Done, Stopped, Failed };
    End end = End::None;
    QString reason;
    bool started = false;
    QEventLoop loop;
    auto finish = [&](End e, const QString& r = {}) {
        if (end != End::None) return;
        end = e;
        reason = r;
        loop.quit();
    };
    QObject::connect(tts_, &QTextToSpeech::stateChanged, &loop, [&](QTextToSpeech::State s) {
        if (s == QTextToSpeech::Speaking) {
            started = true;
        } else if (s == QTextToSpeech::Ready && started) {
            finish(End::Done);
        } else if (s == QTextToSpeech::Error) {
            finish(End::Failed, tts_->errorString());
        }
    });
    // Slow voices take about 300 ms a character; anything far beyond that is a hang.
    const qint64 limitMs = 3000 + 300 * qint64(text.size());
    QElapsedTimer clock;
    clock.start();
    QTimer ticker;
    ticker.setInterval(kTickMs);
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        if (stopRequested_) {
            tts_->stop();
            finish(End::Stopped);
            return;
        }
        const QTextToSpeech::State s = tts_->state();
        if (s == QTextToSpeech::Speaking) started = true;
        if (!started && s == QTextToSpeech::Ready && clock.elapsed() > kNeverStartedMs) {
            finish(End::Done);
        } else if (clock.elapsed() > limitMs) {
            wedged_ = true;
            finish(End::Failed, QStringLiteral("%1 did not finish speaking").arg(engine_));
        }
    });
    ticker.start();
    tts_->say(text);
    if (tts_->state() == QTextToSpeech::Speaking) started = true;
    if (tts_->state() == QTextToSpeech::Error) {
        finish(End::Failed, tts_->errorString());
    }
    if (end == End::None) loop.exec();
    ticker.stop();
    if (end == End::Stopped) stopRequested_ = false;
    if (end == End::Failed) return fail(reason);
    return true;
}

}  // namespace qv
