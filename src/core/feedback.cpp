#include "core/feedback.h"

#include "core/app_state.h"
#include "speech/speech_channel.h"

#include <QAbstractScrollArea>
#include <QLabel>
#include <QPalette>

namespace qv {

void Feedback::speak(const QString& text) { speech_.speak(text); }

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

void focus_gain(Feedback& out, AppState& state, QWidget* control, const QString& guide,
                int help_section) {
    if (!guide.isNull()) out.shortcut(guide);
    state.help_context = help_section;
    set_background(control, state.focus_color);
}

void focus_loss(AppState& state, QWidget* control) { set_background(control, state.normal_color); }

}  // namespace qv
