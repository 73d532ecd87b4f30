#include "shell/core/wait_cue.h"
#include "shell/core/platform.h"
#include "support/window_harness.h"

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QTest>
#include <QtEndian>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <thread>

using namespace qv;

namespace {

// Counts the cues instead of sounding them; the count outlives the cue that owns the sound.
class CountingSound : public CueSound {
  public:
    explicit CountingSound(std::shared_ptr<int> plays) : plays_(std::move(plays)) {}
    void play() override { ++*plays_; }

  private:
    std::shared_ptr<int> plays_;
};

struct Counted {
    std::shared_ptr<int> plays = std::make_shared<int>(0);
    std::unique_ptr<CueSound> sound() { return std::make_unique<CountingSound>(plays); }
};

// Keeps a cue current for one test and leaves no current cue behind.
class CurrentCue {
  public:
    explicit CurrentCue(WaitCue& cue) { WaitCue::setCurrent(&cue); }
    ~CurrentCue() { WaitCue::setCurrent(nullptr); }
};

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

// Short timings stand for the real 2 s / 1 s in the timing tests below; the integration tests at
// the end use the real ones.

TEST(WaitCue, AWaitShorterThanTheDelayIsSilentAndALongerOneCuesOnEveryBeat) {
    Counted c;
    WaitCue cue(c.sound(), 400, 100);
    EXPECT_TRUE(cue.enabled());

    cue.begin();
    QTest::qWait(150);
    cue.end();
    QTest::qWait(450);
    EXPECT_EQ(cue.cuesPlayed(), 0);
    EXPECT_EQ(*c.plays, 0);

    // Beats at 400, 500, 600, 700 ms: four cues, give or take one for a busy machine.
    cue.begin();
    QTest::qWait(750);
    cue.end();
    EXPECT_GE(cue.cuesPlayed(), 3);
    EXPECT_LE(cue.cuesPlayed(), 5);
    EXPECT_EQ(*c.plays, cue.cuesPlayed());

    // Nothing sounds once the wait is over.
    const int atEnd = cue.cuesPlayed();
    QTest::qWait(400);
    EXPECT_EQ(cue.cuesPlayed(), atEnd);
    EXPECT_FALSE(cue.waiting());
}

TEST(WaitCue, EachWaitCountsItsDelayAfresh) {
    Counted c;
    WaitCue cue(c.sound(), 300, 100);
    // Two short waits back to back together last longer than the delay, but neither does.
    for (int i = 0; i < 3; ++i) {
        cue.begin();
        QTest::qWait(150);
        cue.end();
    }
    QTest::qWait(200);
    EXPECT_EQ(cue.cuesPlayed(), 0);
    // An end() without a wait changes nothing.
    cue.end();
    cue.begin();
    EXPECT_TRUE(cue.waiting());
    cue.end();
    EXPECT_FALSE(cue.waiting());
}

TEST(WaitCue, NestedWaitsAreTimedAsOneFromTheOutermostBegin) {
    Counted c;
    WaitCue cue(c.sound(), 300, 1000);
    cue.begin();
    QTest::qWait(200);
    // An inner wait neither restarts the delay nor ends the outer wait when it ends.
    cue.begin();
    QTest::qWait(50);
    cue.end();
    EXPECT_TRUE(cue.waiting());
    EXPECT_TRUE(QTest::qWaitFor([&] { return cue.cuesPlayed() == 1; }, 400));
    cue.end();
    EXPECT_FALSE(cue.waiting());
    QTest::qWait(1200);
    EXPECT_EQ(cue.cuesPlayed(), 1);
}

TEST(WaitCue, SwitchedOffItStaysSilentAndSwitchingOffMidWaitStopsTheCues) {
    Counted c;
    WaitCue cue(c.sound(), 100, 100);
    cue.setEnabled(false);
    EXPECT_FALSE(cue.enabled());
    cue.begin();
    QTest::qWait(450);
    cue.end();
    EXPECT_EQ(cue.cuesPlayed(), 0);

    cue.setEnabled(true);
    cue.begin();
    ASSERT_TRUE(QTest::qWaitFor([&] { return cue.cuesPlayed() >= 1; }, 1000));
    cue.setEnabled(false);
    const int atOff = cue.cuesPlayed();
    QTest::qWait(400);
    EXPECT_EQ(cue.cuesPlayed(), atOff);

    // Switched on again while the same wait goes on, the cues come back.
    cue.setEnabled(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return cue.cuesPlayed() > atOff; }, 1000));
    cue.end();
    const int atEnd = cue.cuesPlayed();
    QTest::qWait(300);
    EXPECT_EQ(cue.cuesPlayed(), atEnd);
    EXPECT_EQ(*c.plays, atEnd);
}

TEST(WaitCue, AStalledLoopSkipsMissedBeatsInsteadOfCatchingUp) {
    Counted c;
    WaitCue cue(c.sound(), 50, 200);
    cue.begin();
    // No events for 500 ms: the beats at 50, 250 and 450 ms pass unheard, and a burst of them
    // afterwards would only be noise. One cue sounds late; the next keeps to the beat (650 ms).
    sleep_ms(500);
    EXPECT_TRUE(QTest::qWaitFor([&] { return cue.cuesPlayed() >= 1; }, 500));
    EXPECT_EQ(cue.cuesPlayed(), 1);
    cue.end();
}

TEST(WaitScope, TellsTheCurrentCueAndNothingWithoutOne) {
    Counted c;
    ASSERT_EQ(WaitCue::current(), nullptr);
    { WaitScope nobodyListens; }

    WaitCue cue(c.sound(), 100, 100);
    CurrentCue current(cue);
    EXPECT_EQ(WaitCue::current(), &cue);
    {
        WaitScope outer;
        EXPECT_TRUE(cue.waiting());
        { WaitScope inner; }
        EXPECT_TRUE(cue.waiting());
    }
    EXPECT_FALSE(cue.waiting());

    // Another thread's waits are not the window's.
    std::thread([] { WaitScope offThread; }).join();
    bool waitingSeen = true;
    std::thread([&] {
        WaitScope offThread;
        waitingSeen = cue.waiting();
    }).join();
    EXPECT_FALSE(waitingSeen);
}

TEST(WaitScope, ACueThatGoesAwayMidWaitIsNoLongerCurrentAndTheScopeEndsQuietly) {
    Counted c;
    auto cue = std::make_unique<WaitCue>(c.sound(), 50, 50);
    WaitCue::setCurrent(cue.get());
    {
        WaitScope scope;
        EXPECT_TRUE(cue->waiting());
        cue.reset();
        EXPECT_EQ(WaitCue::current(), nullptr);
    }
    // A cue that is not current leaves the current one alone when it goes.
    WaitCue kept(c.sound());
    WaitCue::setCurrent(&kept);
    { WaitCue gone(c.sound()); }
    EXPECT_EQ(WaitCue::current(), &kept);
    WaitCue::setCurrent(nullptr);
}

// The waits the user meets, with the timings the user gets.

TEST(WaitCueInUse, ATransportCallLongerThanTwoSecondsCuesAndAShortOneDoesNot) {
    Counted c;
    WaitCue cue(c.sound());
    CurrentCue current(cue);

    std::atomic<bool> ran{false};
    run_blocking([&] {
        sleep_ms(1200);
        ran = true;
    });
    EXPECT_TRUE(ran);
    EXPECT_EQ(cue.cuesPlayed(), 0);

    QElapsedTimer t;
    t.start();
    run_blocking([] { sleep_ms(2600); });
    EXPECT_GE(t.elapsed(), 2500);
    EXPECT_GE(cue.cuesPlayed(), 1);
    EXPECT_LE(cue.cuesPlayed(), 2);
    EXPECT_FALSE(cue.waiting());
    const int atEnd = cue.cuesPlayed();
    QTest::qWait(1200);
    EXPECT_EQ(cue.cuesPlayed(), atEnd);
}

TEST(WaitCueInUse, WithoutACurrentCueTransportCallsStillRunAndWait) {
    ASSERT_EQ(WaitCue::current(), nullptr);
    std::atomic<int> result{0};
    QElapsedTimer t;
    t.start();
    run_blocking([&] {
        sleep_ms(150);
        result = 42;
    });
    EXPECT_EQ(result, 42);
    EXPECT_GE(t.elapsed(), 140);
}

TEST(WaitCueInUse, TheOutsideRecorderRunningLongCues) {
    qv::test::WindowHarness h;
    ASSERT_TRUE(h.start());
    Counted c;
    WaitCue cue(c.sound());
    CurrentCue current(cue);
    h.mark();
    auto code = h.window().runner().run_and_wait(QStringLiteral("sh -c \"sleep 2.6\""), 0, 3);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0);
    EXPECT_GE(cue.cuesPlayed(), 1);
    EXPECT_LE(cue.cuesPlayed(), 2);
    EXPECT_FALSE(cue.waiting());
    // The cue is a sound, never words.
    EXPECT_TRUE(h.spokenSinceMark().isEmpty());

    // A program that cannot start is no wait at all.
    const int before = cue.cuesPlayed();
    EXPECT_FALSE(h.window().runner().run_and_wait(QStringLiteral("no-such-program-here"), 0, 3));
    EXPECT_FALSE(cue.waiting());
    EXPECT_EQ(cue.cuesPlayed(), before);
}

TEST(ToneCueSound, TheToneIsShortSoftAndStartsAndEndsAtSilence) {
    for (int rate : {44100, 48000}) {
        const QByteArray pcm = ToneCueSound::makeTone(rate);
        const int frames = int(pcm.size() / 2);
        EXPECT_GE(frames, rate * 80 / 1000);
        EXPECT_LE(frames, rate * 120 / 1000);
        const auto* p = reinterpret_cast<const uchar*>(pcm.constData());
        auto sample = [&](int i) { return int(qFromLittleEndian<int16_t>(p + 2 * i)); };
        int peak = 0;
        for (int i = 0; i < frames; ++i) peak = std::max(peak, std::abs(sample(i)));
        EXPECT_GE(peak, int(0.15 * 32767));
        EXPECT_LE(peak, int(0.25 * 32767));
        // No click: the ends are (near) silent and no step between samples is large.
        EXPECT_LE(std::abs(sample(0)), 50);
        EXPECT_LE(std::abs(sample(frames - 1)), 50);
        int step = 0;
        for (int i = 1; i < frames; ++i) step = std::max(step, std::abs(sample(i) - sample(i - 1)));
        EXPECT_LE(step, peak / 5);
    }
}

TEST(ToneCueSound, PlaysWithOrWithoutAnAudioOutput) {
    const bool haveOutput = !QMediaDevices::defaultAudioOutput().isNull();
    QElapsedTimer t;
    t.start();
    {
        ToneCueSound tone;
        EXPECT_FALSE(tone.sounding());
        tone.play();
        tone.play();
        // The cue plays from inside a wait: it must never hold the window up.
        EXPECT_LT(t.elapsed(), 1000);
        if (haveOutput) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return tone.sounding(); }, 1000));
            // A short tone: the output is given back well before the next beat.
            EXPECT_TRUE(QTest::qWaitFor([&] { return !tone.sounding(); }, 900));
        } else {
            QTest::qWait(150);
            EXPECT_FALSE(tone.sounding());
        }
        tone.play();
    }
    EXPECT_LT(t.elapsed(), 3000);
}
