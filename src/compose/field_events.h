#pragma once

#include "shell/core/control_events.h"

class QWidget;

namespace qv {

// Attaches focus and key handlers to a compose field, like attach_handlers, except that the
// focus handlers do not run when the focus only leaves for another window or a menu and comes
// back: the fields empty or reset themselves on every focus gain, and a glance at the options
// dialog or a menu command must not cost the user what they have typed.
void attach_field_handlers(QWidget* control, ControlHandlers handlers);

}  // namespace qv
