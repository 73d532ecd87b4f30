#include "user_input.h"

#include <qpa/qwindowsysteminterface.h>
#include <QWindow>

namespace qv::test {

void queue_user_key(QWindow* window, int qtKey, const QString& text, Qt::KeyboardModifiers mods) {
    using WSI = QWindowSystemInterface;
    WSI::handleKeyEvent<WSI::AsynchronousDelivery>(window, QEvent::KeyPress, qtKey, mods, text);
    WSI::handleKeyEvent<WSI::AsynchronousDelivery>(window, QEvent::KeyRelease, qtKey, mods, text);
}

}  // namespace qv::test
