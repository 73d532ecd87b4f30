#include "speech/wait_cue.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QTest>
#include <QtEndian>

#include <gtest/gtest.h>

#include <thread>

using namespace qv;

namespace {

// Counts the cues instead of sounding them.
struct CountingSound : CueSound {
    explicit CountingSound(int* plays) : plays(plays) {}
    void play() override { ++*plays; }
    int* plays;
};

}  // namespace

// Short timings stand for the real 2 s delay and 1 s beat.
TEST(WaitCue, TimesEachWaitFromItsOutermostBeginCuesOnTheBeatSkipsMissedBeatsAndCanBeOff) {
    int plays = 0;
    WaitCue cue(std::make_unique<CountingSound>(&plays), 400, 100);
    // Short waits back to back add up to more than the delay, but each is timed afresh.
    for (int i = 0; i < 3; ++i) cue.begin(), QTest::qWait(150), cue.end();
    QTest::qWait(300);
    EXPECT_EQ(plays, 0);

    cue.begin(), QTest::qWait(300);
    // A nested wait neither restarts the delay nor ends the outer wait.
    cue.begin(), QTest::qWait(50), cue.end();
    EXPECT_TRUE(QTest::qWaitFor([&] { return plays == 1; }, 200));
    QTest::qWait(330);  // the beats at 500, 600 and 700 ms
    cue.end();
    EXPECT_TRUE(plays >= 3 && plays <= 5 && plays == cue.cuesPlayed()) << plays;
    const int atEnd = plays;
    cue.end(), QTest::qWait(300);  // a stray end changes nothing
    EXPECT_TRUE(plays == atEnd && !cue.waiting());

    // Switched off it is silent; switched on mid-wait it keeps to the wait's own beat again.
    cue.setEnabled(false), cue.begin(), QTest::qWait(450);
    EXPECT_EQ(plays, atEnd);
    cue.setEnabled(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return plays > atEnd; }, 300));
    cue.setEnabled(false);
    const int atOff = plays;
    QTest::qWait(300), cue.end();
    EXPECT_EQ(plays, atOff);

    // The beats at 100 and 500 ms are missed (no events): one late cue, no burst, next at 900.
    int late = 0;
    WaitCue stalled(std::make_unique<CountingSound>(&late), 100, 400);
    stalled.begin(), std::this_thread::sleep_for(std::chrono::milliseconds(550));
    QTest::qWait(150);
    EXPECT_EQ(late, 1);
}

TEST(ToneCueSound, IsShortSoftFadesInAndOutAndPlaysWithOrWithoutAnOutput) {
    for (int rate : {44100, 48000}) {
        const QByteArray pcm = ToneCueSound::makeTone(rate);
        const int frames = int(pcm.size() / 2);
        EXPECT_TRUE(frames >= rate * 80 / 1000 && frames <= rate * 120 / 1000) << frames;
        auto at = [&](int i) { return int(qFromLittleEndian<qint16>(pcm.constData() + 2 * i)); };
        int peak = 0, step = 0;
        for (int i = 1; i < frames; ++i) {
            peak = std::max(peak, std::abs(at(i)));
            step = std::max(step, std::abs(at(i) - at(i - 1)));
        }
        EXPECT_TRUE(peak >= int(0.15 * 32767) && peak <= int(0.25 * 32767)) << peak;
        // No click: silent ends and no jump between neighbouring samples.
        EXPECT_TRUE(std::abs(at(0)) <= 50 && std::abs(at(frames - 1)) <= 50 && step <= peak / 5);
    }
    QElapsedTimer t;
    t.start();
    ToneCueSound tone;
    tone.play(), tone.play();
    EXPECT_LT(t.elapsed(), 1000);  // it plays from inside a wait: it must never hold it up
    if (QMediaDevices::defaultAudioOutput().isNull()) return;
    EXPECT_TRUE(QTest::qWaitFor([&] { return tone.sounding(); }, 1000));
    // Short: the output is given back well before the next beat.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !tone.sounding(); }, 900));
}
