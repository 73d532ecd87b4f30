#include "core/wait.h"
#include "core/run_and_wait.h"
#include "support/user_input.h"
#include "support/window_harness.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace qv;

namespace {

// A countdown ticking every 20 ms stands for one ticking every second.
constexpr int kTick = 20;

QString sleep_for(int ticks) {
    return QStringLiteral("sh -c \"sleep %1\"").arg(double(ticks * kTick) / 1000.0 + 0.01);
}

// The keys the window is handed, each with how much had been said by then.
using Keys = QList<std::pair<int, qsizetype>>;
struct KeyLog : QObject {
    test::WindowHarness& h;
    Keys keys;
    explicit KeyLog(test::WindowHarness& harness) : h(harness) { qApp->installEventFilter(this); }
    bool eventFilter(QObject* to, QEvent* e) override {
        if (e->type() == QEvent::KeyPress && to == h.window().windowHandle())
            keys.append({static_cast<QKeyEvent*>(e)->key(), h.spoken().size()});
        return false;
    }
};

}  // namespace

TEST(Waiter, EndsWhenItsConditionHoldsAtItsTimeoutOrAtOnceOnAWake) {
    Waiter waiter;
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(waiter.wait_until([] { return false; }, {120}));
    EXPECT_TRUE(t.elapsed() >= 120 && t.elapsed() < 2000) << t.elapsed();
    // Without the wake the condition would be looked at again only 50 ms into the wait.
    qint64 fastest = 1000;
    for (int i = 0; i < 3; ++i) {
        std::atomic<bool> woken{false};
        t.restart();
        std::thread other([&] {
            QThread::msleep(5);
            woken = true;
            waiter.wake();
        });
        EXPECT_TRUE(waiter.wait_until([&] { return woken.load(); }));
        fastest = std::min(fastest, t.elapsed());
        other.join();
    }
    EXPECT_LT(fastest, 40);
}

// The keys typed as the first-use dialog closes (the start-up has most of its steps still to go)
// are handled after everything it says, in order. Then a program run through the window.
TEST(StartUp, KeysPressedWhileItRunsAreHandledAfterItInOrderAndAProgramRunCountsDown) {
    test::WindowHarness h;
    KeyLog log(h);
    h.onModal = [&](QWidget* dialog) {
        static_cast<QDialog*>(dialog)->reject();
        for (int key : {Qt::Key_F11, Qt::Key_F12, Qt::Key_F10})
            test::queue_user_key(h.window().windowHandle(), key);
        QApplication::processEvents();  // as the closing dialog's own loop may do
    };
    ASSERT_TRUE(h.start());
    QApplication::processEvents();
    const qsizetype said_then = h.spoken().size();
    EXPECT_EQ(log.keys,
              (Keys{{Qt::Key_F11, said_then}, {Qt::Key_F12, said_then}, {Qt::Key_F10, said_then}}));

    // A countdown while the program runs, below zero when it is late.
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

    // A program that cannot start is reported once, and the window goes on.
    h.mark();
    EXPECT_FALSE(runner.run_and_wait(QStringLiteral("wavein28\\missing-program -t 3 \"x\""), 0, 3));
    // The voice reads the hyphen as a pause; the status line shows the name as it is.
    const QStringList said = h.spokenSinceMark();
    EXPECT_TRUE(said.size() == 1 && said[0].contains("missing program"))
        << said.join('|').toStdString();
    EXPECT_TRUE(h.w().cmd_message->text().contains(QStringLiteral("missing-program")));
    EXPECT_FALSE(h.w().Timer1->isActive());
}
