#pragma once

#include <QString>

class QLabel;
class QWidget;
class QColor;

namespace qv {

class SpeechChannel;
struct AppState;

// The three output channels every part of the program uses: the voice, the status line
// (`cmd_message`) and the key guide (`shortcut02`).
class Feedback {
  public:
    Feedback(SpeechChannel& speech, QLabel* cmd_message, QLabel* shortcut02)
        : speech_(speech), cmd_message_(cmd_message), shortcut02_(shortcut02) {}

    // The labels come to life after the voice: the window builds them.
    void attach(QLabel* cmd_message, QLabel* shortcut02) {
        cmd_message_ = cmd_message;
        shortcut02_ = shortcut02;
    }

    void speak(const QString& text);
    // Shows a text in the status line and repaints it at once.
    void show_status(const QString& text);
    void shortcut(const QString& text);

    SpeechChannel& speech() { return speech_; }

  private:
    SpeechChannel& speech_;
    QLabel* cmd_message_;
    QLabel* shortcut02_;
};

// The focus convention: a control taking the focus shows its key guide, names its help section
// and turns light grey; losing it, it turns white again. A null guide leaves the key guide as it
// is.
void focus_gain(Feedback& out, AppState& state, QWidget* control, const QString& guide,
                int help_section);
void focus_loss(AppState& state, QWidget* control);
void set_background(QWidget* control, const QColor& color);
QColor background(const QWidget* control);

}  // namespace qv
