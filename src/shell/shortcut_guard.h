#pragma once

#include <QKeySequence>
#include <QList>

#include <initializer_list>

class QWidget;

namespace qv {

// Lets the menu's shortcut keys reach the menu while one of these controls has the focus, instead
// of the control using them for its own editing (select all, redo, ...).
void guard_shortcuts(std::initializer_list<QWidget*> controls, const QList<QKeySequence>& keys);

}  // namespace qv
