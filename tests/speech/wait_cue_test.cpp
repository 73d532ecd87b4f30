#include "speech/wait_cue.h"
#include "core/run_and_wait.h"
#include "core/wait.h"
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
#include <thread>

using namespace qv;

namespace {

// Counts the cues instead of sounding them.
struct CountingSound : CueSound {
    explicit CountingSound(int* plays) : plays(plays) {}
    void play() override { ++*plays; }
    int* plays;
};

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

// Short timings stand for the real 2 s / 1 s here; the tests of the window's waits further down
// use the real ones.

TEST(WaitCue, SilentUnderTheDelayThenOnEveryBeatAndNeverAfterTheEnd) {
    int plays = 0;
    WaitCue cue(std::make_unique<CountingSound>(&plays), 400, 100);
    EXPECT_TRUE(cue.enabled());
    // Short waits back to back add up to more than the delay; each is timed afresh.
    for (int i = 0; i < 3; ++i) {
        cue.begin();
        QTest::qWait(150);
        cue.end();
    }
    QTest::qWait(300);
    EXPECT_EQ(cue.cuesPlayed(), 0);

    // Beats at 400, 500, 600, 700 ms: four, give or take one on a busy machine.
    cue.begin();
    QTest::qWait(750);
    cue.end();
    EXPECT_GE(cue.cuesPlayed(), 3);
    EXPECT_LE(cue.cuesPlayed(), 5);
    EXPECT_EQ(plays, cue.cuesPlayed());
    QTest::qWait(400);
    EXPECT_EQ(plays, cue.cuesPlayed());
    // A stray end() changes nothing.
    cue.end();
    EXPECT_FALSE(cue.waiting());
}

TEST(WaitCue, NestedWaitsAreTimedFromTheOutermostBegin) {
    int plays = 0;
    WaitCue cue(std::make_unique<CountingSound>(&plays), 600, 1000);
    cue.begin();
    QTest::qWait(500);
    cue.begin();
    QTest::qWait(50);
    cue.end();
    EXPECT_TRUE(cue.waiting());
    // Due at 600 ms; had the inner wait restarted the delay it would come at 1100 ms, had it
    // ended the outer wait, never.
    EXPECT_TRUE(QTest::qWaitFor([&] { return plays == 1; }, 300));
    cue.end();
    QTest::qWait(1200);
    EXPECT_EQ(plays, 1);
}

TEST(WaitCue, SwitchedOffItIsSilentAndSwitchingMidWaitStopsAndResumesTheCues) {
    int plays = 0;
    WaitCue cue(std::make_unique<CountingSound>(&plays), 100, 100);
    cue.setEnabled(false);
    cue.begin();
    QTest::qWait(450);
    cue.end();
    EXPECT_EQ(plays, 0);

    cue.setEnabled(true);
    cue.begin();
    ASSERT_TRUE(QTest::qWaitFor([&] { return plays >= 1; }, 1000));
    cue.setEnabled(false);
    const int atOff = plays;
    QTest::qWait(400);
    EXPECT_EQ(plays, atOff);
    cue.setEnabled(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return plays > atOff; }, 1000));
    cue.end();
}

TEST(WaitCue, AStalledLoopSkipsMissedBeatsInsteadOfCatchingUp) {
    int plays = 0;
    WaitCue cue(std::make_unique<CountingSound>(&plays), 50, 200);
    cue.begin();
    // The beats at 50, 250 and 450 ms pass with no events; a burst of them afterwards would only
    // be noise. One cue sounds late and the next keeps to the beat (650 ms).
    sleep_ms(500);
    EXPECT_TRUE(QTest::qWaitFor([&] { return plays >= 1; }, 500));
    EXPECT_EQ(plays, 1);
    cue.end();
}

TEST(Waiter, TellsItsObserverOfGuiThreadWaitsOnlyAndNotOfPauses) {
    int plays = 0;
    WaitCue cue(std::make_unique<CountingSound>(&plays), 50, 50);
    Waiter waiter;
    waiter.setObserver(&cue);
    bool waitingOffThread = true;
    std::thread([&] {
        waiter.run([] { sleep_ms(20); });
        waitingOffThread = cue.waiting();
    }).join();
    EXPECT_FALSE(waitingOffThread);
    bool waitingInside = false;
    waiter.run([&] {
        sleep_ms(200);
        waitingInside = true;
    });
    EXPECT_TRUE(waitingInside);
    EXPECT_GE(plays, 1);
    EXPECT_FALSE(cue.waiting());
    const int afterRun = plays;
    waiter.pause(1);
    EXPECT_EQ(plays, afterRun);
}

// The window's waits, with the timings the user gets.

TEST(WaitCueInUse, TransportCallsCueOnlyWhenLongerThanTwoSeconds) {
    Waiter waiter;
    std::atomic<int> done{0};
    waiter.run([&] { done = 1; });  // no observer: the call runs as ever
    EXPECT_EQ(done, 1);

    int plays = 0;
    WaitCue cue(std::make_unique<CountingSound>(&plays));
    waiter.setObserver(&cue);
    waiter.run([] { sleep_ms(1200); });
    EXPECT_EQ(plays, 0);

    QElapsedTimer t;
    t.start();
    waiter.run([] { sleep_ms(2600); });
    EXPECT_GE(t.elapsed(), 2500);
    EXPECT_GE(plays, 1);
    EXPECT_LE(plays, 2);
    EXPECT_FALSE(cue.waiting());
    const int atEnd = plays;
    QTest::qWait(1200);
    EXPECT_EQ(plays, atEnd);
}

TEST(WaitCueInUse, TheOutsideRecorderRunningLongCuesAndSaysNothing) {
    qv::test::WindowHarness h;
    ASSERT_TRUE(h.start());
    int plays = 0;
    WaitCue cue(std::make_unique<CountingSound>(&plays));
    h.waiter.setObserver(&cue);
    h.mark();
    auto code = h.window().runner().run_and_wait(QStringLiteral("sh -c \"sleep 2.6\""), 0, 3);
    ASSERT_TRUE(code.has_value());
    EXPECT_GE(plays, 1);
    EXPECT_LE(plays, 2);
    EXPECT_FALSE(cue.waiting());
    EXPECT_TRUE(h.spokenSinceMark().isEmpty());

    // A program that cannot start leaves no wait open.
    EXPECT_FALSE(h.window().runner().run_and_wait(QStringLiteral("no-such-program-here"), 0, 3));
    EXPECT_FALSE(cue.waiting());
}

TEST(ToneCueSound, TheToneIsShortSoftAndFadesInAndOut) {
    for (int rate : {44100, 48000}) {
        const QByteArray pcm = ToneCueSound::makeTone(rate);
        const int frames = int(pcm.size() / 2);
        EXPECT_GE(frames, rate * 80 / 1000);
        EXPECT_LE(frames, rate * 120 / 1000);
        const auto* p = reinterpret_cast<const uchar*>(pcm.constData());
        auto at = [&](int i) { return int(qFromLittleEndian<int16_t>(p + 2 * i)); };
        int peak = 0, step = 0;
        for (int i = 0; i < frames; ++i) {
            peak = std::max(peak, std::abs(at(i)));
            if (i > 0) step = std::max(step, std::abs(at(i) - at(i - 1)));
        }
        EXPECT_GE(peak, int(0.15 * 32767));
        EXPECT_LE(peak, int(0.25 * 32767));
        // No click: silent ends and no jump between neighbouring samples.
        EXPECT_LE(std::abs(at(0)), 50);
        EXPECT_LE(std::abs(at(frames - 1)), 50);
        EXPECT_LE(step, peak / 5);
    }
}

TEST(ToneCueSound, PlaysWithOrWithoutAnAudioOutput) {
    const bool haveOutput = !QMediaDevices::defaultAudioOutput().isNull();
    QElapsedTimer t;
    t.start();
    ToneCueSound tone;
    EXPECT_FALSE(tone.sounding());
    tone.play();
    tone.play();
    // It plays from inside a wait: it must never hold the window up.
    EXPECT_LT(t.elapsed(), 1000);
    if (haveOutput) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return tone.sounding(); }, 1000));
        // Short: the output is given back well before the next beat.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !tone.sounding(); }, 900));
    } else {
        QTest::qWait(150);
        EXPECT_FALSE(tone.sounding());
    }
    tone.play();
}
