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
    // When set, the focus handlers do not run when the focus only leaves for another window, a
    // popup or the menu bar and comes back to this control. Controls that reset themselves on
    // every focus gain (the compose fields) need this: a glance at a dialog or a menu command must
    // not cost the user what they have typed, and a prompt heard again on the way back from a menu
    // is noise. When the focus does not come back (a menu command moved it elsewhere), the control
    // still loses it, as soon as the focus lands on another control of its window.
    bool ignore_passing_visits = false;
};

// Attaches the handlers to a control for as long as it lives.
void attach_handlers(QWidget* control, ControlHandlers handlers);

// Whether the user has taken the focus to a control of this window yet (by key, mouse or
// command). The window being activated, which is how the program places the focus at start-up,
// does not count.
bool user_moved_focus(const QWidget* window);
// A command that brings the user to a control counts even when the control already had the
// focus.
void note_user_moved_focus(QWidget* window);

}  // namespace qv
