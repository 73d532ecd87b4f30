#pragma once

#include <QObject>

#include <functional>
#include <vector>

class QEventLoop;
class QWidget;

namespace qv {

// A pause of whole seconds during which queued speech goes on and the window keeps painting.
class Pauser {
  public:
    virtual ~Pauser() = default;
    virtual void pause(int seconds) = 0;
};

// Told when the window begins and ends a wait (to sound a cue while it lasts, say).
class WaitObserver {
  public:
    virtual ~WaitObserver() = default;
    virtual void waitBegan() = 0;
    virtual void waitEnded() = 0;
};

// The one place where the window waits. While it waits, painting, timers, speech and network
// replies go on; the user's keys and clicks are held back by the window system and handled
// afterwards, in order (or dropped, where a repeated key would repeat a command the user meant
// once). Every wait of the program goes through wait_until().
//
// Used on the GUI thread. Called on any other thread, or without an application, the waits
// still wait (without an event loop) and run() simply runs the work.
class Waiter : public Pauser {
  public:
    struct Options {
        int timeout_ms = -1;  // -1: as long as it takes
        bool cue = true;      // the observer is told (a pause for speech is not a wait for work)
    };

    Waiter();
    ~Waiter() override;
    Waiter(const Waiter&) = delete;
    Waiter& operator=(const Waiter&) = delete;

    // Waits until done() holds or the time is up; true when done() holds. done() is looked at
    // whenever wake() is called, and at least every 50 ms.
    bool wait_until(const std::function<bool()>& done, Options options);
    bool wait_until(const std::function<bool()>& done) { return wait_until(done, Options{}); }
    // Makes the innermost wait look at its condition now. Any thread.
    void wake();

    // Runs work on a thread of its own while the window waits for it.
    void run(const std::function<void()>& work);

    // Pauser: waits the seconds, without a cue.
    void pause(int seconds) override;

    // Lets the events already queued run, except the user's input (between the start-up's
    // steps, say): keys pressed meanwhile are handled when the window is ready for them.
    void settle();

    // Drops the user's input held back so far. Returns how many key presses were dropped.
    int drop_held_input();

    // Holds back the keys meant for `window` for as long as it lives, wherever they would be
    // delivered meanwhile (the loop of a dialog that is closing, say), and hands them to the
    // window in the order they were typed when it ends. Keys meant for a dialog go through.
    class KeyHold {
      public:
        explicit KeyHold(QWidget* window);
        ~KeyHold();
        KeyHold(const KeyHold&) = delete;
        KeyHold& operator=(const KeyHold&) = delete;

      private:
        class Filter;
        Filter* filter_;
    };

    void setObserver(WaitObserver* observer) { observer_ = observer; }

  private:
    bool on_gui_thread() const;

    QObject poster_;  // receives wake() from other threads on the GUI thread
    std::vector<QEventLoop*> loops_;
    WaitObserver* observer_ = nullptr;
};

}  // namespace qv
