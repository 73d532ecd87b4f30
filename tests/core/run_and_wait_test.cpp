#include "core/run_and_wait.h"
#include "support/window_harness.h"

#include <QLabel>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace qv;

namespace {

// A countdown ticking every 20 ms stands for one ticking every second.
constexpr int kTick = 20;

QString sleep_for(int ticks) {
    return QStringLiteral("sh -c \"sleep %1\"").arg(double(ticks * kTick) / 1000.0 + 0.01);
}

}  // namespace

TEST(RunAndWait, CountsDownWhileTheProgramRunsBelowZeroWhenLateAndSaysWhenItCannotStart) {
    test::WindowHarness h;
    ASSERT_TRUE(h.start());
    RunAndWait& runner = h.window().runner();
    runner.setTickMilliseconds(kTick);
    QStringList shown;
    QObject::connect(h.w().Timer1, &QTimer::timeout, [&] { shown << h.w().cmd_message->text(); });
    ASSERT_EQ(runner.run_and_wait(sleep_for(3), 0, 30), 0);
    ASSERT_GE(shown.size(), 2);
    EXPECT_EQ(shown.front(), QStringLiteral("29"));
    EXPECT_EQ(shown.back(), QString::number(30 - shown.size()));
    QTest::qWait(5 * kTick);  // nothing moves once the program has ended
    EXPECT_EQ(h.w().cmd_message->text(), shown.back());

    // Running longer than announced counts below zero.
    ASSERT_EQ(runner.run_and_wait(sleep_for(12), 0, 2), 0);
    EXPECT_LT(h.w().cmd_message->text().toInt(), -3);
    EXPECT_EQ(runner.countdown(), h.w().cmd_message->text().toInt());

    // A program that cannot start is reported once, and the window goes on.
    h.mark();
    EXPECT_FALSE(runner.run_and_wait(QStringLiteral("wavein28\\missing-program -t 3 \"x\""), 0, 3));
    const QStringList said = h.spokenSinceMark();
    ASSERT_EQ(said.size(), 1);
    // The voice reads the hyphen as a pause; the status line shows the name as it is.
    EXPECT_TRUE(said[0].contains(QStringLiteral("missing program")));
    EXPECT_TRUE(h.w().cmd_message->text().contains(QStringLiteral("missing-program")));
    EXPECT_FALSE(h.w().Timer1->isActive());
}
