#include "core/wait.h"
#include "support/user_input.h"
#include "support/window_harness.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace qv;

namespace {

struct CountingObserver : WaitObserver {
    void waitBegan() override { ++began; }
    void waitEnded() override { ++ended; }
    int began = 0, ended = 0;
};

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

TEST(Waiter, EndsWhenItsConditionHoldsAtItsTimeoutOrAtOnceOnAWakeFromAnotherThread) {
    Waiter waiter;
    bool done = false;
    QTimer::singleShot(30, [&] { done = true; });
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(waiter.wait_until([&] { return done; }, {5000}));
    t.restart();
    EXPECT_FALSE(waiter.wait_until([] { return false; }, {120}));
    EXPECT_GE(t.elapsed(), 120);
    EXPECT_LT(t.elapsed(), 2000);
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

TEST(Waiter, RunKeepsTimersFiringAndTellsTheObserverButAPauseDoesNot) {
    Waiter waiter;
    CountingObserver seen;
    waiter.setObserver(&seen);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);
    std::thread::id worker;
    waiter.run([&] {
        worker = std::this_thread::get_id();
        QThread::msleep(200);
    });
    EXPECT_NE(worker, std::this_thread::get_id());
    EXPECT_GE(ticks, 5);
    EXPECT_EQ(std::pair(seen.began, seen.ended), std::pair(1, 1));
    waiter.pause(1);
    std::thread([&] { waiter.run([] {}); }).join();  // off the GUI thread: nothing to tell
    EXPECT_EQ(std::pair(seen.began, seen.ended), std::pair(1, 1));
}

TEST(Waiter, KeysWaitUntilTheWaitIsOverAndOnlySettleAndDropTouchThemAsTheySay) {
    QWidget window;  // a field in an active window, and letters typed at it
    auto* field = new QLineEdit(&window);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    field->setFocus();
    const auto type = [&](const QString& letters) {
        for (QChar c : letters)
            test::queue_user_key(window.windowHandle(), c.toUpper().unicode(), c);
    };
    Waiter waiter;
    QTimer::singleShot(10, [&] { type(QStringLiteral("ab")); });
    waiter.wait_until([] { return false; }, {150});
    EXPECT_EQ(field->text(), QString());
    QApplication::processEvents();
    EXPECT_EQ(field->text(), QStringLiteral("ab"));

    type(QStringLiteral("cd"));
    EXPECT_EQ(waiter.drop_held_input(), 2);
    QApplication::processEvents();
    EXPECT_EQ(field->text(), QStringLiteral("ab"));

    type(QStringLiteral("e"));
    bool posted = false;
    QMetaObject::invokeMethod(
        qApp, [&] { posted = true; }, Qt::QueuedConnection);
    waiter.settle();
    EXPECT_TRUE(posted);
    EXPECT_EQ(field->text(), QStringLiteral("ab"));
    QApplication::processEvents();
    EXPECT_EQ(field->text(), QStringLiteral("abe"));
}

TEST(StartUp, KeysPressedWhileItRunsAreHandledAfterItInOrder) {
    test::WindowHarness h;
    KeyLog log(h);
    // Typed as the first-use dialog closes: the start-up has most of its steps still to go.
    h.onModal = [&](QWidget* dialog) {
        static_cast<QDialog*>(dialog)->reject();
        for (int key : {Qt::Key_F11, Qt::Key_F12, Qt::Key_F10})
            test::queue_user_key(h.window().windowHandle(), key);
        QApplication::processEvents();  // as the closing dialog's own loop may do
    };
    ASSERT_TRUE(h.start());
    QApplication::processEvents();
    // Everything the start-up says comes before the first key is handled.
    const qsizetype said = h.spoken().size();
    EXPECT_EQ(log.keys, (Keys{{Qt::Key_F11, said}, {Qt::Key_F12, said}, {Qt::Key_F10, said}}));
}
