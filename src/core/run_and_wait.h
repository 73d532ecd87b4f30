#pragma once

#include <QString>

#include <optional>

class QTimer;

namespace qv {

class Feedback;
class Waiter;

// Runs an outside program and waits for it while the status line counts the seconds down.
// The window keeps painting and speaking; the user's keys wait and are handled afterwards.
class RunAndWait {
  public:
    RunAndWait(Waiter& waiter, Feedback& out, QTimer* Timer1, QString working_dir);

    // The program's exit code, or nothing when it could not be started (the user has then been
    // told). window_style is kept for callers' sake: programs always run without a window here.
    std::optional<int> run_and_wait(const QString& command_line, int window_style, int seconds);

    // Once a second while a program runs: one less in the status line, going below 0 when the
    // program runs longer than announced.
    void Timer1_Timer();

    int countdown() const { return countdown_; }
    void setTickMilliseconds(int ms) { tick_ms_ = ms; }

  private:
    Waiter& waiter_;
    Feedback& out_;
    QTimer* Timer1_;
    QString working_dir_;
    int countdown_ = 0;
    int tick_ms_ = 1000;
};

}  // namespace qv
