#include "dialog_walk.h"

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace qv::test {

bool activate(QWidget* window) {
    window->activateWindow();
    // Active as far as the widgets know, focus events delivered: the window system's word alone
    // can come first.
    return QTest::qWaitFor([window] { return QApplication::activeWindow() == window; }, 5000);
}

void press(QWidget* window, int key, Qt::KeyboardModifiers mods) {
    if (!activate(window))
        ADD_FAILURE() << "cannot activate " << window->objectName().toStdString();
    QTest::keyClick(window->windowHandle(), Qt::Key(key), mods);
    QApplication::processEvents();
}

void when_modal(std::function<void(QDialog*)> f) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, f] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        f(dialog);
    });
    poll->start(20);
}

QStringList walk_dialog(QWidget* dialog, const std::function<QStringList()>& spoken) {
    int stops = 0;
    for (const QWidget* w : dialog->findChildren<QWidget*>())
        stops += (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy() && w->isEnabled() &&
                 w->isVisibleTo(dialog);
    QStringList heard;
    for (const auto& [key, mods] :
         {std::pair{Qt::Key_Tab, Qt::NoModifier}, std::pair{Qt::Key_Backtab, Qt::ShiftModifier}}) {
        for (int i = 0; i < stops; ++i) {
            activate(dialog);
            const QWidget* before = QApplication::focusWidget();
            const qsizetype said = spoken().size();
            press(dialog, key, mods);
            const QWidget* now = QApplication::focusWidget();
            if (!now || now == before) continue;
            const std::string where =
                (dialog->objectName() + '/' + now->objectName()).toStdString();
            EXPECT_GT(spoken().size(), said) << "nothing said on reaching " << where;
            heard << spoken().mid(said);
            EXPECT_FALSE(now->accessibleName().isEmpty()) << where;
            EXPECT_FALSE(now->accessibleDescription().isEmpty()) << where;
        }
    }
    return heard;
}

}  // namespace qv::test
