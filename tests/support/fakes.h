#pragma once

#include "core/clock.h"
#include "core/opener.h"
#include "core/wait.h"
#include "printers.h"
#include "speech/speech_channel.h"
#include "speech/transcript_engine.h"

#include <QDateTime>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace qv::test {

class FixedClock : public Clock {
  public:
    explicit FixedClock(QDateTime t) : t_(std::move(t)) {}
    QDateTime now() const override { return t_; }
    void set(QDateTime t) { t_ = std::move(t); }

  private:
    QDateTime t_;
};

class RecordingPauser : public Pauser {
  public:
    void pause(int seconds) override {
        pauses.push_back(seconds);
        if (onPause) onPause(seconds);
    }
    std::vector<int> pauses;
    std::function<void(int)> onPause;
};

class RecordingPlayer : public AudioPlayer {
  public:
    bool play(const QString& path) override { return played.append(path), true; }
    QStringList played;
};

class RecordingOpener : public DesktopOpener {
  public:
    bool open(const QString& path) override { return opened.append(path), true; }
    QStringList opened;
};

class SilentEngine : public SpeechEngine {
  public:
    QString name() const override { return QStringLiteral("silent"); }
    bool open(QString*) override { return true; }
    bool say(const QString&, QString*) override { return true; }
};

}  // namespace qv::test
