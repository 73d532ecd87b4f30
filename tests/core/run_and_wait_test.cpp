#include "core/run_and_wait.h"
#include "speech/speech_channel.h"
#include "support/user_input.h"
#include "support/window_harness.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace qv;
using qv::test::WindowHarness;

namespace {

// A countdown ticking every 20 ms stands for one ticking every second.
constexpr int kTick = 20;

QString sleep_for(int ticks) {
    return QStringLiteral("sh -c \"sleep %1\"").arg(double(ticks * kTick) / 1000.0 + 0.01);
}

}  // namespace

TEST(RunAndWait, AProgramThatEndsEarlyLeavesTheLastCountShown) {
    WindowHarness h;
    ASSERT_TRUE(h.start());
    h.window().runner().setTickMilliseconds(kTick);
    QStringList shown;
    QObject::connect(h.w().Timer1, &QTimer::timeout, [&] { shown << h.w().cmd_message->text(); });
    auto code = h.window().runner().run_and_wait(sleep_for(3), 0, 30);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0);
    ASSERT_GE(shown.size(), 2);
    EXPECT_EQ(shown.front(), QStringLiteral("29"));
    EXPECT_EQ(shown.back(), QString::number(30 - shown.size()));
    EXPECT_EQ(h.w().cmd_message->text(), shown.back());
    EXPECT_FALSE(h.w().Timer1->isActive());
    // Nothing moves once the program has ended.
    QTest::qWait(5 * kTick);
    EXPECT_EQ(h.w().cmd_message->text(), shown.back());
}

TEST(RunAndWait, AProgramThatRunsLongCountsBelowZero) {
    WindowHarness h;
    ASSERT_TRUE(h.start());
    h.window().runner().setTickMilliseconds(kTick);
    auto code = h.window().runner().run_and_wait(sleep_for(12), 0, 2);
    ASSERT_TRUE(code.has_value());
    EXPECT_LT(h.w().cmd_message->text().toInt(), -3);
    EXPECT_EQ(h.window().runner().countdown(), h.w().cmd_message->text().toInt());
}

TEST(RunAndWait, KeysPressedMeanwhileAreHandledAfterwardsInOrder) {
    WindowHarness h;
    ASSERT_TRUE(h.start());
    h.window().runner().setTickMilliseconds(kTick);
    h.focus(h.w().mailto);
    h.w().mailto->clear();
    int menuFired = 0;
    bool processEnded = false;
    QObject::connect(h.window().action(QStringLiteral("msg_confirtm")), &QAction::triggered,
                     [&] { menuFired += processEnded ? 1 : 100; });
    h.window()
        .action(QStringLiteral("msg_confirtm"))
        ->setShortcut(QKeySequence(QStringLiteral("F9")));
    // Type while the program runs: the keys are queued as the window system queues them.
    QTimer::singleShot(2 * kTick, [&] {
        QWindow* win = h.window().windowHandle();
        qv::test::queue_user_key(win, Qt::Key_A, QStringLiteral("a"));
        qv::test::queue_user_key(win, Qt::Key_B, QStringLiteral("b"));
        qv::test::queue_user_key(win, Qt::Key_F9);
        qv::test::queue_user_key(win, Qt::Key_C, QStringLiteral("c"));
    });
    auto code = h.window().runner().run_and_wait(sleep_for(10), 0, 5);
    processEnded = true;
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(h.w().mailto->text(), QString());
    QApplication::processEvents();
    QTest::qWait(50);
    EXPECT_EQ(h.w().mailto->text(), QStringLiteral("abc"));
    EXPECT_EQ(menuFired, 1);
}

TEST(RunAndWait, AProgramThatCannotStartIsReportedAndTheWindowGoesOn) {
    WindowHarness h;
    ASSERT_TRUE(h.start());
    h.mark();
    auto code = h.window().runner().run_and_wait(
        QStringLiteral("wavein28\\missing-program -t 3 \"x\""), 0, 3);
    EXPECT_FALSE(code.has_value());
    const QStringList said = h.spokenSinceMark();
    ASSERT_EQ(said.size(), 1);
    // The voice reads the hyphen as a pause; the status line shows the name as it is.
    EXPECT_TRUE(said[0].contains(QStringLiteral("missing program")));
    EXPECT_TRUE(h.w().cmd_message->text().contains(QStringLiteral("missing-program")));
    EXPECT_FALSE(h.w().Timer1->isActive());
}
