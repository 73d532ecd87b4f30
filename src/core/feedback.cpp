#include "core/feedback.h"

#include <QAbstractScrollArea>
#include <QLabel>
#include <QPalette>

namespace qv {

void Feedback::show_status(const QString& text) {
    if (!cmd_message_) return;
    cmd_message_->setText(text);
    cmd_message_->repaint();
}

void Feedback::shortcut(const QString& text) {
    if (shortcut02_) shortcut02_->setText(text);
}

void set_background(QWidget* control, const QColor& color) {
    if (!control) return;
    QPalette p = control->palette();
    p.setColor(QPalette::Base, color);
    p.setColor(QPalette::Window, color);
    control->setPalette(p);
    if (auto* area = qobject_cast<QAbstractScrollArea*>(control)) {
        area->viewport()->setPalette(p);
    }
    control->setAutoFillBackground(true);
}

QColor background(const QWidget* control) { return control->palette().color(QPalette::Base); }

void focus_gain(Feedback& out, QWidget* control, const QString& guide, int help_section) {
    if (!guide.isNull()) out.shortcut(guide);
    out.focus().help_context = help_section;
    set_background(control, out.focus().focus_color);
}

void focus_loss(Feedback& out, QWidget* control) {
    set_background(control, out.focus().normal_color);
}

}  // namespace qv
