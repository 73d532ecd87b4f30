#pragma once

#include <QStringList>

#include <functional>

class QDialog;
class QWidget;

namespace qv::test {

// Makes a window the active one and waits until it is: offscreen nothing else does.
bool activate(QWidget* window);
void press(QWidget* window, int key, Qt::KeyboardModifiers mods = Qt::NoModifier);

// Runs f once on the first modal dialog that opens, from inside its own event loop.
void when_modal(std::function<void(QDialog*)> f);

// Walks every control of a dialog with TAB, then back with Shift+TAB: each move must be said and
// land on a control with an accessible name and description. Returns what was said.
QStringList walk_dialog(QWidget* dialog, const std::function<QStringList()>& spoken);

}  // namespace qv::test
