#include "window_harness.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QTest>

namespace qv::test {

WindowHarness::WindowHarness() : speech_(silent_channel()) {}

WindowHarness::~WindowHarness() {
    window_.reset();
    seed_.reset();
}

MailStore& WindowHarness::seed() {
    if (!seed_) {
        seed_ = std::make_unique<MailStore>();
        if (!seed_->open(QDir(dir_.path()).absoluteFilePath(MailStore::fileName()))) {
            qFatal("cannot create the test database: %s", qPrintable(seed_->lastError()));
        }
    }
    return *seed_;
}

bool WindowHarness::start() {
    seed_.reset();
    window_ = std::make_unique<MainWindow>(
        Services{*speech_, componentInstead ? *componentInstead : component, clock, opener,
                 dir_.path(), dir_.path()});
    window_->setEndProgram([this](int code) { endedWith = code; });
    window_->show();
    window_->activateWindow();
    if (!QTest::qWaitForWindowActive(window_.get()))
        qWarning("the test window did not become active");
    bool ok = window_->Form_Load();
    QApplication::processEvents();
    return ok;
}

void WindowHarness::mark() { mark_ = speech_->spoken().size(); }

QStringList WindowHarness::spokenSinceMark() {
    QStringList all = speech_->spoken();
    QStringList since = all.mid(mark_);
    mark_ = all.size();
    return since;
}

void WindowHarness::key(int qtKey, Qt::KeyboardModifiers mods) {
    window_->activateWindow();
    QTest::keyClick(window_->windowHandle(), Qt::Key(qtKey), mods);
    QApplication::processEvents();
}

void WindowHarness::type(const QString& text) {
    QWidget* target = QApplication::focusWidget();
    if (target) QTest::keyClicks(target, text);
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
