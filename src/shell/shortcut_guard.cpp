#include "shell/shortcut_guard.h"

#include <QEvent>
#include <QKeyEvent>
#include <QObject>
#include <QWidget>

namespace qv {

namespace {

class ShortcutGuard : public QObject {
  public:
    ShortcutGuard(QObject* parent, QList<QKeySequence> keys)
        : QObject(parent), keys_(std::move(keys)) {}

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::ShortcutOverride) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence pressed(key->keyCombination());
        for (const QKeySequence& k : keys_) {
            if (k == pressed) {
                event->ignore();
                return true;
            }
        }
        return false;
    }

  private:
    QList<QKeySequence> keys_;
};

}  // namespace

void guard_shortcuts(std::initializer_list<QWidget*> controls, const QList<QKeySequence>& keys) {
    for (QWidget* w : controls) {
        if (w) w->installEventFilter(new ShortcutGuard(w, keys));
    }
}

}  // namespace qv
