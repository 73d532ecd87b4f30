#include "core/control_events.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMenuBar>
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
        : QObject(control), control_(control), handlers_(std::move(handlers)) {
        if (handlers_.ignore_passing_visits) {
            connect(qApp, &QApplication::focusChanged, this,
                    [this](QWidget*, QWidget* now) { landed(now); });
        }
    }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::FocusIn:
                if (!passing_visit(event)) note_user_moved_focus(control_->window());
                // Back from a passing visit: the control never lost the focus for the user.
                if (away_) {
                    away_ = false;
                    break;
                }
                if (handlers_.gained) handlers_.gained();
                break;
            case QEvent::FocusOut:
                if (handlers_.ignore_passing_visits && passing_visit(event)) {
                    away_ = true;
                    break;
                }
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
    // The focus left in passing and landed on another control of the window instead of coming
    // back (a menu command or a dialog moved it): this control has lost it after all.
    void landed(QWidget* now) {
        if (!away_ || !now || now == control_ || now->window() != control_->window()) return;
        if (qobject_cast<QMenuBar*>(now)) return;
        away_ = false;
        if (handlers_.lost) handlers_.lost();
    }

    QWidget* control_;
    ControlHandlers handlers_;
    bool away_ = false;
};

constexpr char kUserMovedFocus[] = "qv_user_moved_focus";

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

bool user_moved_focus(const QWidget* window) {
    return window && window->property(kUserMovedFocus).toBool();
}

void note_user_moved_focus(QWidget* window) {
    if (window) window->setProperty(kUserMovedFocus, true);
}

}  // namespace qv
