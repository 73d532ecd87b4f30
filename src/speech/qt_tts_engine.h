#pragma once

#include "speech/speech_engine.h"

#include <QLocale>
#include <QString>

#include <atomic>
#include <mutex>

class QTextToSpeech;

namespace qv {

// A voice of Qt TextToSpeech ("speechd" or "flite"), used only when it can read Japanese.
//
// speech-dispatcher without a working audio output never finishes an utterance, hangs in its
// destructor and then in the next constructor (inside spd_open). So open() first constructs the
// engine on a helper thread and waits at most ~2 s for it: a helper that hangs is abandoned there
// (detached) and this engine reports failure, instead of the speech thread hanging. Only after
// that probe succeeds is the real QTextToSpeech made on the speech thread. Before either, open()
// requires an audio output, since without one speechd is exactly the case that hangs. An engine
// that once timed out is never destroyed (its destructor would hang the speech thread); it is
// left behind on purpose.
class QtTtsEngine : public SpeechEngine {
  public:
    explicit QtTtsEngine(QString qtEngine);
    ~QtTtsEngine() override;
    QtTtsEngine(const QtTtsEngine&) = delete;
    QtTtsEngine& operator=(const QtTtsEngine&) = delete;

    QString name() const override { return QStringLiteral("qt-") + engine_; }
    bool open(QString* why) override;
    bool say(const QString& text, QString* why) override;
    void stop() override;
    void rearm() override;
    void applySettings(const VoiceSettings& settings) override;
    QStringList voices() const override;

    // May be called from any thread; used from the next say(). Rate -1..1, volume 0..1.
    void setRate(double rate);
    void setVolume(double volume);

    // Whether a voice an engine offers can read Japanese text. espeak (directly or behind
    // speech-dispatcher) claims Japanese but reads every kanji as "Chinese letter", so it does
    // not count. speechdModule is the speech-dispatcher output module used for Japanese.
    static bool isJapaneseVoice(const QString& qtEngine, const QString& voiceName,
                                const QLocale& locale, const QString& speechdModule);
    // The speech-dispatcher output module for Japanese, from its configuration files
    // (LanguageDefaultModule "ja", else DefaultModule), espeak-ng when nothing says otherwise.
    static QString speechdModuleForJapanese(const QStringList& configFiles = {});

    // How long open() waits for an engine to become ready.
    static constexpr int kReadyTimeoutMs = 2000;

  private:
    QString engine_;
    QTextToSpeech* tts_ = nullptr;
    QString voiceName_;
    bool wedged_ = false;
    std::atomic<bool> stopRequested_{false};
    mutable std::mutex settingsMutex_;
    double rate_ = 0.0;
    double volume_ = 1.0;
    QString wantedVoice_;     // the user's choice; empty for the default
    QString defaultVoice_;    // the first Japanese voice found at open()
    QStringList voiceNames_;  // the Japanese voices, found at open()
};

}  // namespace qv
