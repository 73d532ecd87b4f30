#pragma once

#include "speech/speech_engine.h"

#include <cstdio>

namespace qv {

// Writes each utterance as one line (a line break inside it as the two characters \n), for
// people who follow the speech on a braille display, and for tests.
class TranscriptEngine : public SpeechEngine {
  public:
    explicit TranscriptEngine(std::FILE* out = stdout) : out_(out) {}
    QString name() const override { return QStringLiteral("transcript"); }
    bool open(QString*) override { return true; }
    bool say(const QString& text, QString* why) override;

  private:
    std::FILE* out_;
};

}  // namespace qv
