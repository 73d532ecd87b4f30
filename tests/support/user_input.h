#pragma once

#include <QString>

class QWindow;

namespace qv::test {

// Queues a key press and release the way the window system does, to be delivered by the event
// loop later: a loop that holds back user input keeps them until it is done.
void queue_user_key(QWindow* window, int qtKey, const QString& text = QString(),
                    Qt::KeyboardModifiers mods = Qt::NoModifier);

}  // namespace qv::test
