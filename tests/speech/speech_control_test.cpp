// The user's hold on the voice: stopping it, hearing it again, its history and its settings.
#include "speech/speech_channel.h"
#include "speech/speech_keys.h"
#include "support/fakes.h"

#include <QDialog>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

using namespace qv;

namespace {

// Behaves as the real engines do: an utterance lasts until it is stopped or let go, a stop
// holds until rearm(), and what the engine was told is kept for the test.
class HeldEngine : public SpeechEngine {
  public:
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        QStringList started;   // texts whose say() began
        QStringList finished;  // texts said to the end
        QStringList stopped;   // texts cut short
        std::vector<VoiceSettings> applied;
        bool stopFlag = false;
        int release = 0;  // utterances allowed to finish
        bool hold = true;
        QStringList voices{QStringLiteral("mei_normal"), QStringLiteral("takumi")};
    };
    explicit HeldEngine(std::shared_ptr<Shared> s) : s_(std::move(s)) {}
    QString name() const override { return QStringLiteral("held"); }
    bool open(QString*) override { return true; }
    bool say(const QString& text, QString*) override {
        std::unique_lock lock(s_->mutex);
        s_->started << text;
        s_->changed.notify_all();
        s_->changed.wait(lock, [&] { return s_->stopFlag || !s_->hold || s_->release > 0; });
        if (s_->stopFlag) {
            s_->stopFlag = false;
            s_->stopped << text;
        } else {
            if (s_->hold) --s_->release;
            s_->finished << text;
        }
        s_->changed.notify_all();
        return true;
    }
    void stop() override {
        std::lock_guard lock(s_->mutex);
        s_->stopFlag = true;
        s_->changed.notify_all();
    }
    void rearm() override {
        std::lock_guard lock(s_->mutex);
        s_->stopFlag = false;
    }
    void applySettings(const VoiceSettings& v) override {
        std::lock_guard lock(s_->mutex);
        s_->applied.push_back(v);
    }
    QStringList voices() const override {
        std::lock_guard lock(s_->mutex);
        return s_->voices;
    }

  private:
    std::shared_ptr<Shared> s_;
};

struct Held {
    std::shared_ptr<HeldEngine::Shared> s = std::make_shared<HeldEngine::Shared>();
    SpeechChannel channel{{[s = s] { return std::make_unique<HeldEngine>(s); }}};

    bool waitStarted(int n) {
        std::unique_lock lock(s->mutex);
        return s->changed.wait_for(lock, std::chrono::seconds(5),
                                   [&] { return s->started.size() >= n; });
    }
    void letGo() {
        std::lock_guard lock(s->mutex);
        s->hold = false;
        s->changed.notify_all();
    }
    template <typename F>
    auto with(F f) {
        std::lock_guard lock(s->mutex);
        return f(*s);
    }
};

}  // namespace

TEST(SpeechStop, StopCutsTheUtteranceDropsTheQueueAndTheNextTextIsHeard) {
    Held h;
    h.channel.speak(QStringLiteral("長いメールの一つ目の部分"));
    h.channel.speak(QStringLiteral("二つ目の部分"));
    h.channel.speak(QStringLiteral("三つ目の部分"));
    ASSERT_TRUE(h.waitStarted(1));
    EXPECT_EQ(h.channel.pending(), 3);

    h.channel.silence();
    ASSERT_TRUE(h.channel.waitUntilIdle(2000));
    EXPECT_EQ(h.channel.pending(), 0);
    EXPECT_EQ(h.with([](auto& s) { return s.stopped; }),
              QStringList{QStringLiteral("長いメールの一つ目の部分")});

    h.letGo();
    h.channel.speak(QStringLiteral("次の読み上げ"));
    ASSERT_TRUE(h.channel.waitUntilIdle(2000));
    EXPECT_EQ(h.with([](auto& s) { return s.finished; }),
              QStringList{QStringLiteral("次の読み上げ")});
}

TEST(SpeechStop, AStopDuringTheHandOverIsNotLostAndTheTextIsNotSaid) {
    Held h;
    h.letGo();
    // The hook runs on the speech thread after a text left the queue and before the engine got
    // it: the narrowest moment a stop can come in.
    std::atomic<bool> once{false};
    h.channel.setHandOffHook([&](const QString& text) {
        if (text == QStringLiteral("終了します") && !once.exchange(true)) h.channel.silence();
    });
    h.channel.speak(QStringLiteral("終了します"));
    h.channel.speak(QStringLiteral("後ろの文"));
    ASSERT_TRUE(h.channel.waitUntilIdle(2000));
    EXPECT_TRUE(h.with([](auto& s) { return s.started.isEmpty(); }));
    EXPECT_EQ(h.channel.pending(), 0);

    h.channel.speak(QStringLiteral("その次"));
    ASSERT_TRUE(h.channel.waitUntilIdle(2000));
    EXPECT_EQ(h.with([](auto& s) { return s.finished; }), QStringList{QStringLiteral("その次")});
}

TEST(SpeechStop, AStopThatFindsNothingToStopDoesNotCutTheNextUtterance) {
    Held h;
    h.channel.silence();  // the queue is empty and nothing is being said
    h.letGo();
    h.channel.speak(QStringLiteral("こんにちは"));
    ASSERT_TRUE(h.channel.waitUntilIdle(2000));
    EXPECT_EQ(h.with([](auto& s) { return s.finished; }),
              QStringList{QStringLiteral("こんにちは")});
    EXPECT_EQ(h.channel.silenceCount(), 1);
}

TEST(SpeechHistory, NewestFirstKeepsOneHundredAndRepeatsAreNotAddedAgain) {
    Held h;
    h.letGo();
    EXPECT_FALSE(h.channel.repeatLast());
    for (int i = 1; i <= 105; ++i) h.channel.speak(QStringLiteral("発話-%1").arg(i));
    const QStringList history = h.channel.history();
    ASSERT_EQ(history.size(), 100);
    EXPECT_EQ(history.front(), QStringLiteral("発話 105"));  // normalised as it was said
    EXPECT_EQ(history.back(), QStringLiteral("発話 6"));

    EXPECT_TRUE(h.channel.repeatLast());
    h.channel.repeat(QStringLiteral("履歴の中の発話"));
    ASSERT_TRUE(h.channel.waitUntilIdle(5000));
    EXPECT_EQ(h.channel.history(), history);
    // Heard, and in the transcript, in order.
    const QStringList heard = h.with([](auto& s) { return s.finished; });
    ASSERT_GE(heard.size(), 2);
    EXPECT_EQ(heard.mid(heard.size() - 2),
              (QStringList{QStringLiteral("発話 105"), QStringLiteral("履歴の中の発話")}));
    EXPECT_EQ(h.channel.spoken().last(), QStringLiteral("履歴の中の発話"));
}

TEST(SpeechSettings, ReachTheEngineBeforeTheNextUtteranceAndTheVoicesAreOffered) {
    Held h;
    h.letGo();
    h.channel.speak(QStringLiteral("一"));
    ASSERT_TRUE(h.channel.waitUntilIdle(2000));
    EXPECT_EQ(h.channel.voices(),
              (QStringList{QStringLiteral("mei_normal"), QStringLiteral("takumi")}));

    VoiceSettings v;
    v.rate = 150;
    v.volume = 40;
    v.voice = QStringLiteral("takumi");
    h.channel.applySettings(v);
    EXPECT_EQ(h.channel.settings(), v);
    h.channel.speak(QStringLiteral("二"));
    ASSERT_TRUE(h.channel.waitUntilIdle(2000));
    const auto applied = h.with([](auto& s) { return s.applied; });
    ASSERT_FALSE(applied.empty());
    EXPECT_EQ(applied.back(), v);
    // Given once, not again with every utterance.
    h.channel.speak(QStringLiteral("三"));
    ASSERT_TRUE(h.channel.waitUntilIdle(2000));
    EXPECT_EQ(h.with([](auto& s) { return s.applied.size(); }), applied.size());
}

namespace {

// The Ctrl gesture as the window system delivers it, to whatever has the focus.
void press(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyPress(w, key, mods);
}
void release(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyRelease(w, key, mods);
}

}  // namespace

TEST(SpeechStopKey, CtrlAloneStopsButCtrlWithALetterOrAClickDoesNot) {
    int stops = 0;
    SpeechStopKey key([&] { ++stops; });
    QDialog dialog;  // any window of the program, a dialog too
    auto* field = new QLineEdit(&dialog);
    dialog.show();
    field->setFocus();

    press(field, Qt::Key_Control, Qt::ControlModifier);
    release(field, Qt::Key_Control);
    EXPECT_EQ(stops, 1);

    // Ctrl+A is a shortcut: the letter in between means it was not a stop.
    press(field, Qt::Key_Control, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    release(field, Qt::Key_Control);
    EXPECT_EQ(stops, 1);

    // Held down (the keyboard repeats it), then released alone: a stop.
    press(field, Qt::Key_Control, Qt::ControlModifier);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier, QString(), true);
    QApplication::sendEvent(field, &repeat);
    release(field, Qt::Key_Control);
    EXPECT_EQ(stops, 2);

    // A click while Ctrl is down is a Ctrl+click, not a stop.
    press(field, Qt::Key_Control, Qt::ControlModifier);
    QTest::mouseClick(field, Qt::LeftButton, Qt::ControlModifier);
    release(field, Qt::Key_Control);
    EXPECT_EQ(stops, 2);

    // A release without its press (the press went to another program) is nothing.
    release(field, Qt::Key_Control);
    EXPECT_EQ(stops, 2);
    // Shift, then Ctrl: Ctrl was not alone.
    press(field, Qt::Key_Shift, Qt::ShiftModifier);
    press(field, Qt::Key_Control, Qt::ShiftModifier | Qt::ControlModifier);
    press(field, Qt::Key_Shift, Qt::ShiftModifier | Qt::ControlModifier);
    release(field, Qt::Key_Control, Qt::ShiftModifier);
    EXPECT_EQ(stops, 2);
}
