#pragma once

#include <QObject>

#include <functional>

class QKeyEvent;
class QWidget;

namespace qv {

// Key codes as the handlers know them.
enum KeyCode : int {
    kKeyTab = 9,
    kKeyEnter = 13,
    kKeyEsc = 27,
    kKeySpace = 32,
    kKeyIns = 45,
    kKeyDel = 46,
};

// The handler's key code for a key event: ENTER 13, ESC 27, SPACE 32, INS 45, DEL 46, TAB 9,
// letters and digits their upper-case code, anything else a code above 255.
int key_code(const QKeyEvent* event);

// Focus and key handlers of one control. The key handler sees the key code; the key is never
// consumed, so the control still does its own work with it (arrows move, ENTER breaks a line).
struct ControlHandlers {
    std::function<void()> gained;
    std::function<void()> lost;
    std::function<void(int code)> key;
};

// Attaches the handlers to a control for as long as it lives.
void attach_handlers(QWidget* control, ControlHandlers handlers);

}  // namespace qv
