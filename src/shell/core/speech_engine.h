#pragma once

#include <QString>

#include <functional>
#include <memory>

namespace qv {

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

    // Cuts the current utterance short. May be called from any thread.
    virtual void stop() {}
};

using SpeechEngineFactory = std::function<std::unique_ptr<SpeechEngine>()>;

}  // namespace qv
