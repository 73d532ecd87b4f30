#include "core/control_events.h"

#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QWidget>

namespace qv {

namespace {

bool passing_visit(const QEvent* event) {
    const Qt::FocusReason reason = static_cast<const QFocusEvent*>(event)->reason();
    return reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason ||
           reason == Qt::MenuBarFocusReason;
}

class HandlerFilter : public QObject {
  public:
    HandlerFilter(QWidget* control, ControlHandlers handlers)
        : QObject(control), handlers_(std::move(handlers)) {}

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::FocusIn:
                if (handlers_.ignore_passing_visits && passing_visit(event)) break;
                if (handlers_.gained) handlers_.gained();
                break;
            case QEvent::FocusOut:
                if (handlers_.ignore_passing_visits && passing_visit(event)) break;
                if (handlers_.lost) handlers_.lost();
                break;
            case QEvent::KeyPress:
                if (handlers_.key) handlers_.key(key_code(static_cast<QKeyEvent*>(event)));
                break;
            default:
                break;
        }
        return false;
    }

  private:
    ControlHandlers handlers_;
};

}  // namespace

int key_code(const QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return kKeyEnter;
        case Qt::Key_Escape:
            return kKeyEsc;
        case Qt::Key_Space:
            return kKeySpace;
        case Qt::Key_Insert:
            return kKeyIns;
        case Qt::Key_Delete:
            return kKeyDel;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return kKeyTab;
        default:
            break;
    }
    int k = event->key();
    if ((k >= Qt::Key_0 && k <= Qt::Key_9) || (k >= Qt::Key_A && k <= Qt::Key_Z)) return k;
    return 256 + (k & 0xffff);
}

void attach_handlers(QWidget* control, ControlHandlers handlers) {
    control->installEventFilter(new HandlerFilter(control, std::move(handlers)));
}

}  // namespace qv
