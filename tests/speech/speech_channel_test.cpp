// The program's voice: order, fallback, stopping, moves, history, settings and the stop key.
#include "speech/speech_channel.h"
#include "core/wait.h"
#include "speech/speech_keys.h"
#include "support/printers.h"

#include <QDialog>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

using namespace qv;

namespace {

// What the engines of one channel were handed, shared with the test.
struct Ledger {
    std::mutex mutex;
    std::condition_variable changed;
    QStringList started, finished, stopped;  // say() began; said to the end; cut short
    std::vector<VoiceSettings> applied;
    bool hold = false;  // held, an utterance lasts until it is stopped or let go
    int release = 0;    // held utterances allowed to finish
    bool stopFlag = false;
    bool deaf = false;  // ignores stop(), as a hung engine does
};

// Behaves as the real engines do: a stop holds until rearm(). breakOnCall: the say() (from 1)
// on which the engine breaks.
class TestEngine : public SpeechEngine {
  public:
    TestEngine(std::shared_ptr<Ledger> l, QString name = "test", bool opens = true, int breakOn = 0)
        : l_(std::move(l)), name_(std::move(name)), opens_(opens), breakOn_(breakOn) {}
    QString name() const override { return name_; }
    bool open(QString* why) override {
        if (!opens_) *why = QStringLiteral("no such voice");
        return opens_;
    }
    bool say(const QString& text, QString* why) override {
        std::unique_lock lock(l_->mutex);
        l_->started << text;
        l_->changed.notify_all();
        if (++calls_ == breakOn_) {
            *why = QStringLiteral("lost its audio");
            return false;
        }
        l_->changed.wait(
            lock, [&] { return (l_->stopFlag && !l_->deaf) || !l_->hold || l_->release > 0; });
        if (l_->stopFlag && !l_->deaf) {
            l_->stopFlag = false;
            l_->stopped << text;
        } else {
            if (l_->hold) --l_->release;
            l_->finished << text;
        }
        l_->changed.notify_all();
        return true;
    }
    void stop() override {
        std::lock_guard lock(l_->mutex);
        l_->stopFlag = true;
        l_->changed.notify_all();
    }
    void rearm() override {
        std::lock_guard lock(l_->mutex);
        l_->stopFlag = false;
    }
    void applySettings(const VoiceSettings& v) override {
        std::lock_guard lock(l_->mutex);
        l_->applied.push_back(v);
    }
    QStringList voices() const override { return {"mei_normal", "takumi"}; }

  private:
    std::shared_ptr<Ledger> l_;
    QString name_;
    bool opens_;
    int breakOn_;
    int calls_ = 0;
};

struct TestVoice {
    std::shared_ptr<Ledger> l = std::make_shared<Ledger>();
    SpeechChannel channel{{[l = l] { return std::make_unique<TestEngine>(l); }}};

    explicit TestVoice(bool hold = false) { l->hold = hold; }
    bool waitStarted(qsizetype n) {
        std::unique_lock lock(l->mutex);
        return l->changed.wait_for(lock, std::chrono::seconds(5),
                                   [&] { return l->started.size() >= n; });
    }
    void let(int utterances, bool all = false) {
        std::lock_guard lock(l->mutex);
        l->release += utterances;
        l->hold = l->hold && !all;
        l->changed.notify_all();
    }
    template <typename F>
    auto with(F f) {
        std::lock_guard lock(l->mutex);
        return f(*l);
    }
    QStringList finished() {
        return with([](Ledger& l) { return l.finished; });
    }
};

}  // namespace

TEST(SpeechChannel, SaysEveryTextInCallOrderNormalisedAndLogsItAsOneLine) {
    EXPECT_EQ(SpeechChannel::normalise("a-b=c--d"), "a b c  d");
    const QString untouched = QStringLiteral("メール：「件名」\r\n本文、ー～！");
    EXPECT_EQ(SpeechChannel::normalise(untouched), untouched);

    QTemporaryDir dir;
    const QString log = dir.filePath("speech.log");
    auto ledger = std::make_shared<Ledger>();
    ledger->hold = true;
    SpeechChannel channel({[ledger] { return std::make_unique<TestEngine>(ledger); }}, log);
    QStringList expected;
    for (int i = 0; i < 1000; ++i) {
        expected << QStringLiteral("発話%1").arg(i);
        channel.speak(expected.back());
        channel.speak(QString());
    }
    channel.speak("一行目\r\n二行目");
    expected << "一行目\r\n二行目";
    EXPECT_GE(channel.pending(), 1000);  // queued, not waited for
    {
        std::lock_guard lock(ledger->mutex);
        ledger->hold = false;
        ledger->changed.notify_all();
    }
    // The GUI thread waiting in a nested loop does not hold the voice up.
    Waiter().run([&] { channel.waitUntilIdle(10000); });
    EXPECT_EQ(channel.pending(), 0);
    EXPECT_EQ(ledger->finished, expected);
    EXPECT_EQ(channel.spoken(), expected);
    QFile f(log);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
    ASSERT_EQ(lines.size(), 1002);  // the last line break leaves an empty tail
    EXPECT_EQ(lines[999], "発話999");
    EXPECT_EQ(lines[1000], "一行目\\n二行目");
}

TEST(SpeechChannel, AnEngineThatCannotOpenOrBreaksGivesWayAndTheTextIsSaidOnceInOrder) {
    auto ledger = std::make_shared<Ledger>();
    testing::internal::CaptureStderr();
    {
        SpeechChannel channel(
            {[&] { return std::make_unique<TestEngine>(ledger, "mute", false); },
             [&] { return std::make_unique<TestEngine>(ledger, "first", true, 2); },
             [&] { return std::make_unique<TestEngine>(ledger, "second"); }});
        for (const char* t : {"一", "二", "三"}) channel.speak(t);
        ASSERT_TRUE(channel.waitUntilIdle(5000));
        EXPECT_EQ(channel.engineName(), "second");
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ledger->started, (QStringList{"一", "二", "二", "三"}));
    EXPECT_EQ(ledger->finished, (QStringList{"一", "二", "三"}));
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
    EXPECT_NE(err.find("mute unavailable: no such voice"), std::string::npos) << err;
    EXPECT_NE(err.find("first failed: lost its audio"), std::string::npos) << err;
}

TEST(SpeechChannel, ShutdownDoesNotHangOnAHungEngine) {
    TestVoice v(true);
    v.l->deaf = true;
    v.channel.speak("止まらない");
    ASSERT_TRUE(v.waitStarted(1));
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(v.channel.shutdown(200));
    EXPECT_LT(t.elapsed(), 1000);
    v.let(1);  // the engine lets go in the end; the channel then ends cleanly
    EXPECT_TRUE(v.channel.shutdown(5000));
}

TEST(SpeechStop, CutsTheUtteranceDropsTheQueueEvenMidHandOverAndTheNextTextIsHeard) {
    TestVoice v(true);
    for (const char* t : {"長いメールの一つ目", "二つ目", "三つ目"}) v.channel.speak(t);
    ASSERT_TRUE(v.waitStarted(1));
    EXPECT_EQ(v.channel.pending(), 3);
    v.channel.silence();
    ASSERT_TRUE(v.channel.waitUntilIdle(2000));
    EXPECT_EQ(v.channel.pending(), 0);
    EXPECT_EQ(v.with([](Ledger& l) { return l.stopped; }), QStringList{"長いメールの一つ目"});

    // A stop that finds nothing to stop does not cut the next utterance.
    v.channel.silence();
    v.let(0, true);
    // The hook runs after a text left the queue and before the engine has it: the narrowest
    // moment a stop can come in.
    v.channel.setHandOffHook([&](const QString& text) {
        if (text == "終了します") v.channel.silence();
    });
    v.channel.speak("終了します");
    ASSERT_TRUE(v.channel.waitUntilIdle(2000));
    v.channel.speak("その次");
    ASSERT_TRUE(v.channel.waitUntilIdle(2000));
    EXPECT_EQ(v.finished(), QStringList{"その次"});
    EXPECT_EQ(v.channel.silenceCount(), 3);
}

TEST(SpeechMove, ReplacesTheWordsOfAnEarlierMoveButNeverCutsOrDropsASpokenText) {
    TestVoice v(true);
    v.channel.speak("メッセージ一");
    ASSERT_TRUE(v.waitStarted(1));
    v.channel.speak_move("移動一");
    v.channel.speak("メッセージ二");
    v.channel.speak_move("移動二");  // drops 移動一 from the queue, not メッセージ二
    v.let(1);
    ASSERT_TRUE(v.waitStarted(2));
    v.channel.speak_move("移動三");  // メッセージ二 is being said: it goes on
    v.let(1);
    ASSERT_TRUE(v.waitStarted(3));
    v.channel.speak_move("移動四");  // cuts 移動三
    ASSERT_TRUE(v.waitStarted(4));
    v.let(1);
    ASSERT_TRUE(v.channel.waitUntilIdle(2000));
    v.with([](Ledger& l) {
        EXPECT_EQ(l.started, (QStringList{"メッセージ一", "メッセージ二", "移動三", "移動四"}));
        EXPECT_EQ(l.stopped, QStringList{"移動三"});
    });
    // The transcript keeps what each move said, in order.
    EXPECT_EQ(v.channel.spoken().size(), 6);
}

TEST(SpeechMove, OfTenMovesInQuickSuccessionOnlyTheLastIsHandedToTheEngine) {
    TestVoice v(true);
    v.channel.speak("メッセージ");
    ASSERT_TRUE(v.waitStarted(1));
    for (int i = 1; i <= 10; ++i) v.channel.speak_move(QStringLiteral("項目%1").arg(i));
    v.let(2);
    ASSERT_TRUE(v.channel.waitUntilIdle(2000));
    EXPECT_EQ(v.with([](Ledger& l) { return l.started; }), (QStringList{"メッセージ", "項目10"}));
    // With the engine free, earlier moves may reach it, but only the last is said to the end.
    for (int i = 1; i <= 10; ++i) v.channel.speak_move(QStringLiteral("行%1").arg(i));
    v.let(1);
    ASSERT_TRUE(v.channel.waitUntilIdle(2000));
    v.with([](Ledger& l) {
        EXPECT_EQ(l.finished, (QStringList{"メッセージ", "項目10", "行10"}));
        EXPECT_EQ(l.stopped, l.started.mid(2, l.started.size() - 3));
    });
    // A move that comes while an earlier one is being handed over.
    v.channel.setHandOffHook([&](const QString& text) {
        if (text == "旧") v.channel.speak_move("新");
    });
    v.channel.speak_move("旧");
    v.let(1);
    ASSERT_TRUE(v.channel.waitUntilIdle(2000));
    EXPECT_EQ(v.with([](Ledger& l) { return l.started.mid(l.started.size() - 1); }),
              QStringList{"新"});
}

TEST(SpeechHistory, NewestFirstKeepsOneHundredAndRepeatsAreHeardButNotAddedAgain) {
    TestVoice v;
    EXPECT_FALSE(v.channel.repeatLast());
    for (int i = 1; i <= 105; ++i) v.channel.speak(QStringLiteral("発話-%1").arg(i));
    const QStringList history = v.channel.history();
    ASSERT_EQ(history.size(), 100);
    EXPECT_EQ(history.front(), "発話 105");  // normalised as it was said
    EXPECT_EQ(history.back(), "発話 6");
    EXPECT_TRUE(v.channel.repeatLast());
    v.channel.repeat("履歴の中の発話");
    ASSERT_TRUE(v.channel.waitUntilIdle(5000));
    EXPECT_EQ(v.channel.history(), history);
    EXPECT_EQ(v.finished().mid(105), (QStringList{"発話 105", "履歴の中の発話"}));
    EXPECT_EQ(v.channel.spoken().last(), "履歴の中の発話");
}

TEST(SpeechSettings, ReachTheEngineOnceBeforeTheNextUtteranceAndTheVoicesAreOffered) {
    TestVoice v;
    v.channel.speak("一");
    ASSERT_TRUE(v.channel.waitUntilIdle(2000));
    EXPECT_EQ(v.channel.voices(), (QStringList{"mei_normal", "takumi"}));
    const VoiceSettings chosen{150, 40, "takumi"};
    v.channel.applySettings(chosen);
    EXPECT_EQ(v.channel.settings(), chosen);
    for (const char* t : {"二", "三"}) v.channel.speak(t);
    ASSERT_TRUE(v.channel.waitUntilIdle(2000));
    v.with([&](Ledger& l) {
        ASSERT_EQ(l.applied.size(), 2u);  // the defaults when the engine opened, then the choice
        EXPECT_EQ(l.applied.back(), chosen);
    });
}

TEST(SpeechStopKey, CtrlAloneStopsButCtrlWithAKeyOrAClickDoesNot) {
    int stops = 0;
    SpeechStopKey key([&] { ++stops; });
    QDialog dialog;  // any window of the program, a dialog too
    auto* field = new QLineEdit(&dialog);
    dialog.show();
    field->setFocus();
    const auto ctrl = [&](bool down, Qt::KeyboardModifiers mods = Qt::ControlModifier) {
        down ? QTest::keyPress(field, Qt::Key_Control, mods)
             : QTest::keyRelease(field, Qt::Key_Control, mods & ~Qt::ControlModifier);
    };
    ctrl(true), ctrl(false);
    EXPECT_EQ(stops, 1);
    ctrl(true), QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier), ctrl(false);
    EXPECT_EQ(stops, 1);
    // Held down, the keyboard repeats it; released alone, it is a stop.
    ctrl(true);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier, QString(), true);
    QApplication::sendEvent(field, &repeat);
    ctrl(false);
    EXPECT_EQ(stops, 2);
    ctrl(true), QTest::mouseClick(field, Qt::LeftButton, Qt::ControlModifier), ctrl(false);
    ctrl(false);  // a release whose press went to another program
    QTest::keyPress(field, Qt::Key_Shift, Qt::ShiftModifier);
    ctrl(true, Qt::ShiftModifier | Qt::ControlModifier);
    QTest::keyPress(field, Qt::Key_Shift, Qt::ShiftModifier | Qt::ControlModifier);
    ctrl(false, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(stops, 2);
}
