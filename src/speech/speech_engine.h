#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace qv {

// How the user wants to be spoken to. Each engine maps these onto what it can do.
struct VoiceSettings {
    int rate = 100;    // speaking speed in percent of the engine's normal speed
    int volume = 100;  // 0..100
    QString voice;     // one of the engine's voices(); empty: the engine's own choice

    friend bool operator==(const VoiceSettings&, const VoiceSettings&) = default;
};

// One voice. Every call except stop() is made on the speech thread, one at a time.
class SpeechEngine {
  public:
    virtual ~SpeechEngine() = default;

    virtual QString name() const = 0;

    // Prepares the engine before its first utterance. False when it cannot speak here (no voice,
    // no audio output, ...); *why then says why, in one line.
    virtual bool open(QString* why) = 0;

    // Says one utterance and returns once it has been said (or stopped). False when the engine
    // broke; the channel then says the same text with the next engine.
    virtual bool say(const QString& text, QString* why) = 0;

    // Cuts the current utterance short. May be called from any thread. A stop stays in force
    // until rearm(), so one that arrives just before say() starts still cuts it.
    virtual void stop() {}
    // Forgets an earlier stop(). The channel calls it, under the lock that stop() is called
    // under, right before it hands over the next utterance.
    virtual void rearm() {}

    // Called on the speech thread between utterances; used from the next say().
    virtual void applySettings(const VoiceSettings&) {}
    // The names of the voices the user may choose from, once open() succeeded.
    virtual QStringList voices() const { return {}; }
};

using SpeechEngineFactory = std::function<std::unique_ptr<SpeechEngine>()>;

}  // namespace qv
