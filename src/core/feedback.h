#pragma once

#include <QColor>
#include <QString>

class QLabel;
class QWidget;

namespace qv {

// What the program says. Implemented by the speech channel; everything above it speaks through
// this.
class Voice {
  public:
    virtual ~Voice() = default;
    // Queues a text; returns at once.
    virtual void speak(const QString& text) = 0;
    // Queues what a move landed on (a list item, a field): it replaces the words of an earlier
    // move that are still queued or being said, as screen readers do when the user skims, and
    // never cuts anything queued with speak().
    virtual void speak_move(const QString& text) = 0;
    // Stops what is being said and drops what is queued.
    virtual void silence() = 0;
};

// The focus look and the help section of the area that last took the focus.
struct FocusState {
    QColor focus_color{200, 200, 200};
    QColor normal_color{255, 255, 255};
    int help_context = 0;
};

// The output channels every part of the program uses: the voice, the status line
// (`cmd_message`) and the key guide (`shortcut02`), and the focus convention that goes with them.
class Feedback {
  public:
    explicit Feedback(Voice& voice, QLabel* cmd_message = nullptr, QLabel* shortcut02 = nullptr)
        : voice_(voice), cmd_message_(cmd_message), shortcut02_(shortcut02) {}

    // The labels come to life after the voice: the window builds them.
    void attach(QLabel* cmd_message, QLabel* shortcut02) {
        cmd_message_ = cmd_message;
        shortcut02_ = shortcut02;
    }

    void speak(const QString& text) { voice_.speak(text); }
    // What a move landed on; said only while the user wants moves spoken (the default).
    void speak_move(const QString& text) {
        if (move_speech_) voice_.speak_move(text);
    }
    // What the user typed or left in a field, echoed: cut by the next key like a move, but
    // never muted with the moves, since it is what the user is writing.
    void speak_echo(const QString& text) { voice_.speak_move(text); }
    void set_move_speech(bool on) { move_speech_ = on; }
    bool move_speech() const { return move_speech_; }
    // Shows a text in the status line and repaints it at once.
    void show_status(const QString& text);
    void shortcut(const QString& text);
    // A message the user must not miss: shown in the status line and said.
    void tell(const QString& message) {
        show_status(message);
        speak(message);
    }

    Voice& voice() { return voice_; }
    FocusState& focus() { return focus_; }
    const FocusState& focus() const { return focus_; }

  private:
    Voice& voice_;
    QLabel* cmd_message_;
    QLabel* shortcut02_;
    FocusState focus_;
    bool move_speech_ = true;
};

// The focus convention: a control taking the focus shows its key guide, names its help section
// and turns light grey; losing it, it turns white again. A null guide leaves the key guide as it
// is.
void focus_gain(Feedback& out, QWidget* control, const QString& guide, int help_section);
void focus_loss(Feedback& out, QWidget* control);
void set_background(QWidget* control, const QColor& color);
QColor background(const QWidget* control);

}  // namespace qv
