#include "core/wait.h"

#include <qpa/qwindowsysteminterface.h>
#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <atomic>
#include <thread>

namespace qv {

namespace {

constexpr int kRecheckMs = 50;

// Swallows the user's input while the held-back events are delivered.
class InputEater : public QObject {
  public:
    int presses = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::KeyPress:
                ++presses;
                return true;
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::Shortcut:
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::Wheel:
                return true;
            default:
                return false;
        }
    }
};

}  // namespace

// Takes the window's keys out of delivery and keeps them. ShortcutOverride is accepted so that a
// key of a menu shortcut comes as a key press too, instead of running its command at once.
class Waiter::KeyHold::Filter : public QObject {
  public:
    explicit Filter(QWidget* window) : window_(window) {}

    struct Key {
        QEvent::Type type;
        int key;
        Qt::KeyboardModifiers modifiers;
        QString text;
        bool repeat;
    };
    std::vector<Key> keys;

  protected:
    bool eventFilter(QObject* receiver, QEvent* event) override {
        if (!window_) return false;
        const QEvent::Type type = event->type();
        if (type == QEvent::ShortcutOverride) {
            auto* widget = qobject_cast<QWidget*>(receiver);
            if (!widget || widget->window() != window_) return false;
            event->accept();
            return true;
        }
        // Taken where the window system hands them to the window, before any widget sees them.
        if ((type != QEvent::KeyPress && type != QEvent::KeyRelease) ||
            receiver != window_->windowHandle()) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        keys.push_back({type, key->key(), key->modifiers(), key->text(), key->isAutoRepeat()});
        return true;
    }

  public:
    QWidget* window_ptr() const { return window_; }

  private:
    QPointer<QWidget> window_;
};

Waiter::KeyHold::KeyHold(QWidget* window) : filter_(new Filter(window)) {
    if (auto* app = QCoreApplication::instance()) app->installEventFilter(filter_);
}

Waiter::KeyHold::~KeyHold() {
    // What the window system still holds came after what was taken: it joins the end.
    if (auto* app = QCoreApplication::instance()) {
        QCoreApplication::processEvents();
        app->removeEventFilter(filter_);
    }
    QPointer<QWidget> window = filter_->window_ptr();
    for (const Filter::Key& k : filter_->keys) {
        if (!window || !window->windowHandle()) break;
        QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::SynchronousDelivery>(
            window->windowHandle(), k.type, k.key, k.modifiers, k.text, k.repeat);
    }
    delete filter_;
}

Waiter::Waiter() = default;

Waiter::~Waiter() = default;

bool Waiter::on_gui_thread() const {
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

bool Waiter::wait_until(const std::function<bool()>& done, Options options) {
    if (done()) return true;
    QElapsedTimer since;
    since.start();
    const auto time_is_up = [&] {
        return options.timeout_ms >= 0 && since.elapsed() >= options.timeout_ms;
    };
    if (!on_gui_thread()) {
        while (!done() && !time_is_up()) QThread::msleep(5);
        return done();
    }

    QEventLoop loop;
    loops_.push_back(&loop);
    QTimer recheck;
    recheck.setInterval(kRecheckMs);
    QObject::connect(&recheck, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    recheck.start();
    QTimer limit;
    limit.setSingleShot(true);
    limit.setTimerType(Qt::PreciseTimer);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (options.timeout_ms >= 0) limit.start(options.timeout_ms);

    WaitObserver* observer = options.cue ? observer_ : nullptr;
    if (observer) observer->waitBegan();
    while (!done() && !time_is_up()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (observer) observer->waitEnded();
    loops_.pop_back();
    return done();
}

void Waiter::wake() {
    QMetaObject::invokeMethod(
        &poster_,
        [this] {
            if (!loops_.empty()) loops_.back()->quit();
        },
        Qt::QueuedConnection);
}

void Waiter::run(const std::function<void()>& work) {
    if (!on_gui_thread()) {
        work();
        return;
    }
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        work();
        finished = true;
        wake();
    });
    wait_until([&] { return finished.load(); });
    worker.join();
}

void Waiter::pause(int seconds) {
    if (seconds <= 0) return;
    wait_until([] { return false; }, {seconds * 1000, false});
}

void Waiter::settle() {
    if (!on_gui_thread()) return;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    // The pass took the dispatcher's wake-up with it and left the user's input queued; without a
    // new wake-up that input would wait for the next event from outside (the user's next key).
    if (auto* dispatcher = QCoreApplication::eventDispatcher()) dispatcher->wakeUp();
}

int Waiter::drop_held_input() {
    if (!on_gui_thread()) return 0;
    InputEater eater;
    QCoreApplication::instance()->installEventFilter(&eater);
    QCoreApplication::processEvents();
    QCoreApplication::instance()->removeEventFilter(&eater);
    return eater.presses;
}

}  // namespace qv
