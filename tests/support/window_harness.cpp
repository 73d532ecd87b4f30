#include "window_harness.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QInputMethodEvent>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace qv::test {

MailStore& WindowHarness::seed() {
    if (!seed_) {
        seed_ = std::make_unique<MailStore>();
        if (!seed_->open(QDir(dir_.path()).absoluteFilePath(MailStore::fileName())) ||
            !seed_->updateNewsSel(false))
            qFatal("cannot create the test database: %s", qPrintable(seed_->lastError()));
    }
    return *seed_;
}

bool WindowHarness::start() {
    if (!seed_ && !QFile::exists(QDir(dir_.path()).absoluteFilePath(MailStore::fileName()))) seed();
    seed_.reset();
    window_ = std::make_unique<MainWindow>(
        Services{*speech_, componentInstead ? *componentInstead : component, clock, opener, player,
                 pauser, waiter, dir_.path(), dir_.path()});
    window_->setEndProgram([this](int code) { endedWith = code; });
    window_->show();
    window_->activateWindow();
    if (!QTest::qWaitForWindowActive(window_.get()))
        qWarning("the test window did not become active");
    QTimer modal_watch;
    bool modal_seen = false;
    QObject::connect(&modal_watch, &QTimer::timeout, [this, &modal_seen] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        modal_seen = true;
        if (onModal) return onModal(modal);
        if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    });
    modal_watch.start(20);
    bool ok = window_->Form_Load();
    modal_watch.stop();
    QApplication::processEvents();
    // A start-up dialog took the activation and nothing gives it back offscreen: take it back
    // until it stays.
    if (modal_seen) {
        QElapsedTimer stable;
        const bool active = QTest::qWaitFor(
            [&] {
                if (QApplication::activeWindow() != window_.get()) {
                    window_->activateWindow();
                    stable.invalidate();
                    return false;
                }
                if (!stable.isValid()) stable.start();
                return stable.elapsed() >= 100;
            },
            5000);
        if (!active) qWarning("the test window did not become active again");
    }
    return ok;
}

QStringList WindowHarness::spokenSinceMark() {
    const QStringList all = speech_->spoken();
    return all.mid(std::exchange(mark_, all.size()));
}

void WindowHarness::key(int qtKey, Qt::KeyboardModifiers mods) {
    window_->activateWindow();
    QTest::keyClick(window_->windowHandle(), Qt::Key(qtKey), mods);
    QApplication::processEvents();
}

void WindowHarness::type(const QString& text) {
    QWidget* target = QApplication::focusWidget();
    if (std::ranges::all_of(text, [](QChar c) { return c.unicode() < 0x80; })) {
        QTest::keyClicks(target, text);
    } else {
        QInputMethodEvent commit;
        commit.setCommitString(text);
        QApplication::sendEvent(target, &commit);
    }
    QApplication::processEvents();
}

void WindowHarness::trigger(const QString& action) {
    QAction* a = window_->action(action);
    if (!a) qFatal("no action %s", qPrintable(action));
    a->trigger();
    QApplication::processEvents();
}

void WindowHarness::focus(QWidget* control) {
    window_->activateWindow();
    control->setFocus(Qt::OtherFocusReason);
    QApplication::processEvents();
}

}  // namespace qv::test
