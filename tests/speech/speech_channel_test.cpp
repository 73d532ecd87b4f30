// The program's voice: order, fallback, stopping, moves, history, settings and the stop key.
#include "speech/speech_channel.h"
#include "speech/speech_keys.h"
#include "support/files.h"
#include "support/printers.h"

#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace qv;

namespace {

// What the engines of a channel were handed. An utterance lasts until it is let go or stopped;
// a stop holds until rearm(), as with the real engines. The test reads it once the channel is idle.
struct Ledger {
    std::mutex m;
    std::condition_variable changed;
    QStringList started, finished, stopped;
    std::vector<VoiceSettings> applied;
    int release = 1 << 30;                // utterances allowed to finish
    bool stopping = false, deaf = false;  // deaf: ignores stop(), as a hung engine does

    // Lets that many more utterances finish; then waits until `started` have begun.
    bool let(int utterances, qsizetype started = 0) {
        std::unique_lock lock(m);
        release += utterances;
        changed.notify_all();
        return changed.wait_for(lock, std::chrono::seconds(5),
                                [&] { return this->started.size() >= started; });
    }
};

struct TestEngine : SpeechEngine {
    // breakOn: the say() (from 1) on which the engine breaks.
    TestEngine(std::shared_ptr<Ledger> l, QString id = "test", bool opens = true, int breakOn = 0)
        : l(std::move(l)), id(std::move(id)), opens(opens), breakOn(breakOn) {}
    std::shared_ptr<Ledger> l;
    QString id;
    bool opens;
    int breakOn, calls = 0;

    QString name() const override { return id; }
    bool open(QString* why) override { return (*why = "no such voice"), opens; }
    bool say(const QString& text, QString* why) override {
        std::unique_lock lock(l->m);
        l->started << text, l->changed.notify_all();
        if (++calls == breakOn) return (*why = "lost its audio"), false;
        const auto cut = [&] { return l->stopping && !l->deaf; };
        l->changed.wait(lock, [&] { return cut() || l->release > 0; });
        (cut() ? l->stopped : l->finished) << text;
        l->release -= !cut();
        l->stopping = false;
        return true;
    }
    void stop() override { std::lock_guard{l->m}, l->stopping = true, l->changed.notify_all(); }
    void rearm() override { std::lock_guard{l->m}, l->stopping = false; }
    void applySettings(const VoiceSettings& v) override { l->applied.push_back(v); }
    QStringList voices() const override { return {"mei_normal", "takumi"}; }
};

struct TestVoice {
    std::shared_ptr<Ledger> l = std::make_shared<Ledger>();
    SpeechChannel channel;
    explicit TestVoice(bool hold = false, QString log = {})
        : channel({[l = l] { return std::make_unique<TestEngine>(l); }}, log) {
        l->release = hold ? 0 : l->release;
    }
};

}  // namespace

TEST(SpeechChannel, SaysEveryTextInCallOrderNormalisedLogsItAndKeepsTheNewestInItsHistory) {
    EXPECT_EQ(SpeechChannel::normalise("a-b=c--d：「件名」\r\n本文、ー～！"),
              "a b c  d：「件名」\r\n本文、ー～！");
    QTemporaryDir dir;
    TestVoice v(true, dir.filePath("speech.log"));
    EXPECT_FALSE(v.channel.repeatLast());
    QStringList expected;
    for (int i = 0; i < 1000; ++i) {
        v.channel.speak(QStringLiteral("発話-%1").arg(i));
        v.channel.speak(QString());
        expected << QStringLiteral("発話 %1").arg(i);
    }
    v.channel.speak(expected.emplaceBack("一行目\r\n二行目"));
    EXPECT_GE(v.channel.pending(), 1000);  // queued, not waited for
    v.l->let(2000);
    // Said with the GUI thread blocked: the voice needs nothing from its event loop.
    ASSERT_TRUE(v.channel.waitUntilIdle(10000));
    EXPECT_EQ(v.l->finished, expected);
    EXPECT_EQ(v.channel.spoken(), expected);
    EXPECT_EQ(QString::fromUtf8(test::file_bytes(dir.filePath("speech.log"))).split('\n').mid(999),
              (QStringList{"発話 999", "一行目\\n二行目", ""}));
    // The newest hundred, newest first; repeats are heard but not added again.
    const QStringList history = v.channel.history();
    EXPECT_EQ(history.size(), 100);
    EXPECT_EQ(history.front() + '|' + history.back(), expected.last() + "|発話 901");
    EXPECT_TRUE(v.channel.repeatLast());
    v.channel.repeat("履歴の中の発話");
    ASSERT_TRUE(v.channel.waitUntilIdle(5000));
    EXPECT_EQ(v.channel.history(), history);
    EXPECT_EQ(v.l->finished.mid(1001), (QStringList{expected.last(), "履歴の中の発話"}));

    // Settings reach the engine once, before the next utterance: the defaults, then the choice.
    EXPECT_EQ(v.channel.voices(), (QStringList{"mei_normal", "takumi"}));
    const VoiceSettings chosen{150, 40, "takumi"};
    v.channel.applySettings(chosen);
    for (const char* t : {"二", "三"}) v.channel.speak(t);
    ASSERT_TRUE(v.channel.waitUntilIdle(2000));
    EXPECT_EQ(v.l->applied, (std::vector<VoiceSettings>{VoiceSettings{}, chosen}));
}

TEST(SpeechChannel, AnEngineThatCannotOpenOrBreaksGivesWayAndTheTextIsSaidOnceInOrder) {
    auto l = std::make_shared<Ledger>();
    testing::internal::CaptureStderr();
    SpeechChannel channel({[&] { return std::make_unique<TestEngine>(l, "mute", false); },
                           [&] { return std::make_unique<TestEngine>(l, "first", true, 2); },
                           [&] { return std::make_unique<TestEngine>(l, "second"); }});
    for (const char* t : {"一", "二", "三"}) channel.speak(t);
    EXPECT_TRUE(channel.waitUntilIdle(5000));
    EXPECT_EQ(channel.engineName(), "second");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(l->started, (QStringList{"一", "二", "二", "三"}));
    EXPECT_EQ(l->finished, (QStringList{"一", "二", "三"}));
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
    EXPECT_TRUE(err.find("mute unavailable: no such voice") != std::string::npos &&
                err.find("first failed: lost its audio") != std::string::npos)
        << err;
}

TEST(SpeechStop, CutsTheUtteranceAndTheQueueEvenMidHandOverButNotTheNextTextNorTheShutdown) {
    TestVoice v(true);
    for (const char* t : {"長いメールの一つ目", "二つ目", "三つ目"}) v.channel.speak(t);
    ASSERT_TRUE(v.l->let(0, 1));
    EXPECT_EQ(v.channel.pending(), 3);
    v.channel.silence();
    ASSERT_TRUE(v.channel.waitUntilIdle(2000));
    EXPECT_EQ(v.l->stopped, QStringList{"長いメールの一つ目"});
    v.channel.silence();  // finds nothing to stop: must not cut the next utterance
    v.l->let(2000);
    // The hook runs between the queue and the engine: the narrowest moment for a stop.
    v.channel.setHandOffHook([&](const QString& text) {
        if (text == "終了します") v.channel.silence();
    });
    for (const char* t : {"終了します", "その次"}) {
        v.channel.speak(t);
        ASSERT_TRUE(v.channel.waitUntilIdle(2000));
    }
    EXPECT_EQ(v.l->finished, QStringList{"その次"});
    EXPECT_EQ(v.channel.silenceCount(), 3);
    // An engine that hangs and ignores the stop does not hang the shutdown.
    v.l->deaf = true, v.l->release = 0;
    v.channel.speak("止まらない");
    ASSERT_TRUE(v.l->let(0, 3));
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(v.channel.shutdown(200));
    EXPECT_LT(t.elapsed(), 1000);
    v.l->let(1);  // the engine lets go in the end; the channel then ends cleanly
    EXPECT_TRUE(v.channel.shutdown(5000));
}

TEST(SpeechMove, ReplacesTheWordsOfAnEarlierMoveButNeverASpokenTextAndOnlyTheLastOfManyIsSaid) {
    TestVoice v(true);
    v.channel.speak("メッセージ一");
    ASSERT_TRUE(v.l->let(0, 1));
    // 移動二 drops 移動一 from the queue, not メッセージ二.
    v.channel.speak_move("移動一"), v.channel.speak("メッセージ二"), v.channel.speak_move("移動二");
    ASSERT_TRUE(v.l->let(1, 2));
    v.channel.speak_move("移動三");  // メッセージ二 is being said: it goes on
    ASSERT_TRUE(v.l->let(1, 3));
    v.channel.speak_move("移動四");  // cuts 移動三
    ASSERT_TRUE(v.l->let(0, 4));
    v.l->let(1);
    ASSERT_TRUE(v.channel.waitUntilIdle(2000));
    EXPECT_EQ(v.l->started, (QStringList{"メッセージ一", "メッセージ二", "移動三", "移動四"}));
    EXPECT_EQ(v.channel.spoken().size(), 6);  // the transcript keeps every move
    // Ten moves in quick succession while a message is said: only the last reaches the engine.
    v.channel.speak("メッセージ");
    ASSERT_TRUE(v.l->let(0, 5));
    for (int i = 1; i <= 10; ++i) v.channel.speak_move(QStringLiteral("項目%1").arg(i));
    v.l->let(2);
    ASSERT_TRUE(v.channel.waitUntilIdle(2000));
    EXPECT_EQ(v.l->started.mid(4), (QStringList{"メッセージ", "項目10"}));
    // With the engine free, earlier moves may reach it, but only the last is said to the end.
    for (int i = 1; i <= 10; ++i) v.channel.speak_move(QStringLiteral("行%1").arg(i));
    v.l->let(1);
    ASSERT_TRUE(v.channel.waitUntilIdle(2000));
    EXPECT_EQ(v.l->finished.mid(3), (QStringList{"メッセージ", "項目10", "行10"}));
    EXPECT_EQ(v.l->stopped, QStringList{"移動三"} + v.l->started.mid(6, v.l->started.size() - 7));
    // A move that comes while an earlier one is being handed over.
    v.channel.setHandOffHook([&](const QString& text) {
        if (text == "旧") v.channel.speak_move("新");
    });
    v.channel.speak_move("旧");
    v.l->let(1);
    ASSERT_TRUE(v.channel.waitUntilIdle(2000));
    EXPECT_EQ(v.l->started.last(), "新");
    EXPECT_FALSE(v.l->started.contains("旧"));
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
    // Held down, Ctrl repeats; released alone, it is a stop.
    ctrl(true);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier, QString(), true);
    QApplication::sendEvent(field, &repeat);
    ctrl(false);
    EXPECT_EQ(stops, 1);
    ctrl(true), QTest::mouseClick(field, Qt::LeftButton, Qt::ControlModifier), ctrl(false);
    ctrl(false);  // a release whose press went to another program
    ctrl(true), QTest::keyPress(field, Qt::Key_Shift, Qt::ShiftModifier | Qt::ControlModifier);
    ctrl(false, Qt::ShiftModifier | Qt::ControlModifier);  // Ctrl+Shift: not alone either
    EXPECT_EQ(stops, 1);
}
