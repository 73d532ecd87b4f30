#pragma once

#include "core/feedback.h"
#include "speech/speech_engine.h"

#include <QString>
#include <QStringList>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qv {

// The program's voice: speak() normalises a text and queues it; a thread of its own hands the
// texts to an engine one after another, in call order. Nothing the GUI thread does (a wait, a
// modal dialog, a nested event loop) stalls or reorders it.
class SpeechChannel : public Voice {
  public:
    // engines: tried in order; an engine that cannot open, or breaks, gives way to the next.
    // logPath: when not empty, every utterance is also appended there, one line each.
    explicit SpeechChannel(std::vector<SpeechEngineFactory> engines, QString logPath = {});
    ~SpeechChannel() override;
    SpeechChannel(const SpeechChannel&) = delete;
    SpeechChannel& operator=(const SpeechChannel&) = delete;

    // "-" and "=" become blanks; nothing else changes.
    static QString normalise(const QString& text);
    // How an utterance is written as one line: a line break becomes the two characters \n.
    static QString asLine(const QString& text);

    // Queues a text and returns at once. An empty text is ignored.
    void speak(const QString& text) override;
    // Queues a text that stands for where a move landed: a text of an earlier move still queued
    // is dropped, and one being said is cut short. Texts queued with speak() are never touched.
    void speak_move(const QString& text) override;

    // Every text queued so far, normalised, in call order (what the user hears, in order).
    QStringList spoken() const;
    // Texts queued but not yet handed to an engine, plus the one being said.
    int pending() const;
    bool waitUntilIdle(int timeoutMs) const;
    // The engine in use, once the speech thread has opened one.
    QString engineName() const;

    // Stops the current utterance and drops everything queued, including a text that is being
    // handed to the engine at this moment.
    void silence() override;
    // How many times silence() was called (for the log and for tests).
    int silenceCount() const;

    // The newest utterances given to speak(), newest first; repeats are not added again.
    QStringList history() const;
    static constexpr int kHistoryKept = 100;
    // Queues a text again (F2, the history list): heard and written to the transcript like any
    // other, but not added to the history a second time.
    void repeat(const QString& text);
    // Repeats the newest utterance of the history; false when there is none.
    bool repeatLast();

    // The rate, volume and voice for the utterances that follow; the engine takes them before
    // its next utterance.
    void applySettings(const VoiceSettings& settings);
    VoiceSettings settings() const;
    // The voices of the engine in use (empty until one is open, and for engines without any).
    QStringList voices() const;

    // Ends the speech thread, waiting at most timeoutMs for the current utterance. True when the
    // thread ended; false when an engine hangs (the thread is then left to the process exit).
    bool shutdown(int timeoutMs);

    // Called on the speech thread with each text as it is handed to an engine (for the log and
    // for measurements).
    void setHandOffHook(std::function<void(const QString&)> hook);

  private:
    struct Utterance {
        QString text;
        bool move = false;
    };

    void run();
    void enqueue(QString said, bool remember, bool move = false);
    bool openNextEngine();

    std::vector<SpeechEngineFactory> factories_;
    std::size_t nextFactory_ = 0;
    std::unique_ptr<SpeechEngine> engine_;
    QString logPath_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<Utterance> queue_;
    QStringList spoken_;
    std::deque<QString> history_;  // newest last
    std::uint64_t epoch_ = 0;      // counts silence() calls: a text taken before one is dropped
    std::uint64_t moves_ = 0;      // counts moves: a move taken before a newer one is dropped
    bool currentIsMove_ = false;
    VoiceSettings settings_;
    bool settingsChanged_ = false;
    QStringList voices_;
    bool busy_ = false;
    bool stopping_ = false;
    bool finished_ = false;
    QString engineName_;
    SpeechEngine* current_ = nullptr;  // the engine saying something, for silence()
    std::function<void(const QString&)> handOff_;
    std::thread thread_;
};

}  // namespace qv
