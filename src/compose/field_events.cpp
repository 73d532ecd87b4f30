#include "compose/field_events.h"

#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QWidget>

namespace qv {

namespace {

bool passing_visit(Qt::FocusReason reason) {
    return reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason ||
           reason == Qt::MenuBarFocusReason;
}

class FieldFilter : public QObject {
  public:
    FieldFilter(QWidget* control, ControlHandlers handlers)
        : QObject(control), handlers_(std::move(handlers)) {}

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::FocusIn:
                if (!passing_visit(static_cast<QFocusEvent*>(event)->reason()) &&
                    handlers_.gained) {
                    handlers_.gained();
                }
                break;
            case QEvent::FocusOut:
                if (!passing_visit(static_cast<QFocusEvent*>(event)->reason()) && handlers_.lost) {
                    handlers_.lost();
                }
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

void attach_field_handlers(QWidget* control, ControlHandlers handlers) {
    control->installEventFilter(new FieldFilter(control, std::move(handlers)));
}

}  // namespace qv
