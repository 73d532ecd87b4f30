#pragma once

#include "core/wait.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <memory>

class QAudioSink;
class QBuffer;
class QTimer;

namespace qv {

// The sound of one cue. play() is called on the GUI thread and must return at once.
class CueSound {
  public:
    virtual ~CueSound() = default;
    virtual void play() = 0;
};

// A soft, short tone on the default audio output. Its samples are made once, when it first plays,
// so a session that never waits long never opens the audio output. Without an audio output it
// stays silent (and says so once on stderr).
class ToneCueSound : public CueSound {
  public:
    ToneCueSound();
    ~ToneCueSound() override;
    ToneCueSound(const ToneCueSound&) = delete;
    ToneCueSound& operator=(const ToneCueSound&) = delete;

    void play() override;
    // True while a tone is on its way to the audio output.
    bool sounding() const;

    // The samples of one tone: 16-bit signed mono at the given rate (exposed for tests).
    static QByteArray makeTone(int sampleRate);

  private:
    bool prepare();

    bool tried_ = false;
    // Declared so that the sink goes first: it reads from the buffer, which reads the samples.
    QByteArray pcm_;
    std::unique_ptr<QBuffer> buffer_;
    std::unique_ptr<QAudioSink> sink_;
};

// Sounds a cue once a second while a wait lasts longer than delayMs, so that someone who cannot
// see the screen knows the program is still working. begin()/end() nest; only the outermost pair
// starts and stops the timing. GUI thread only.
class WaitCue : public WaitObserver {
  public:
    explicit WaitCue(std::unique_ptr<CueSound> sound, int delayMs = 2000, int intervalMs = 1000);
    ~WaitCue() override;
    WaitCue(const WaitCue&) = delete;
    WaitCue& operator=(const WaitCue&) = delete;

    // On by default. Switching off mid-wait stops further cues; switching on mid-wait resumes
    // them on the wait's own beat.
    void setEnabled(bool on);
    bool enabled() const { return enabled_; }

    void begin();
    void end();
    bool waiting() const { return depth_ > 0; }

    // How many cues have sounded since construction.
    int cuesPlayed() const { return played_; }

    // WaitObserver: the window's waits.
    void waitBegan() override { begin(); }
    void waitEnded() override { end(); }

  private:
    qint64 beatAfter(qint64 ms) const;
    void arm();
    void tick();

    std::unique_ptr<CueSound> sound_;
    const int delayMs_;
    const int intervalMs_;
    std::unique_ptr<QTimer> timer_;
    QElapsedTimer since_;
    qint64 nextBeatMs_ = 0;
    bool enabled_ = true;
    int depth_ = 0;
    int played_ = 0;
};

}  // namespace qv
