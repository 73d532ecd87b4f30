#pragma once

#include <qpa/qwindowsysteminterface.h>
#include <QString>
#include <QWindow>

namespace qv::test {

// Queues a key press and release the way the window system does, to be delivered by the event
// loop later: a loop that holds back user input keeps them until it is done.
inline void queue_user_key(QWindow* window, int qtKey, const QString& text = QString(),
                           Qt::KeyboardModifiers mods = Qt::NoModifier) {
    using WSI = QWindowSystemInterface;
    WSI::handleKeyEvent<WSI::AsynchronousDelivery>(window, QEvent::KeyPress, qtKey, mods, text);
    WSI::handleKeyEvent<WSI::AsynchronousDelivery>(window, QEvent::KeyRelease, qtKey, mods, text);
}

}  // namespace qv::test
