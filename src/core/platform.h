#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

namespace qv {

// The edges of the program that touch time, pauses and the desktop. Each has the real one here
// and test ones in the tests, passed in through constructors.

class Clock {
  public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock : public Clock {
  public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// A pause of whole seconds during which queued speech goes on and the window keeps painting; the
// user's keys wait and are handled afterwards, in order.
class Pauser {
  public:
    virtual ~Pauser() = default;
    virtual void pause(int seconds) = 0;
};

class EventLoopPauser : public Pauser {
  public:
    void pause(int seconds) override;
};

// Opens a document with the program the desktop has for it (a browser, a music player).
class DesktopOpener {
  public:
    virtual ~DesktopOpener() = default;
    virtual bool open(const QString& path) = 0;
};

class QtDesktopOpener : public DesktopOpener {
  public:
    bool open(const QString& path) override;
};

// Runs work off the GUI thread and waits for it in a nested event loop that excludes user input:
// painting, timers and speech go on, keys and menu commands are handled afterwards, in order.
// Called from a non-GUI thread (or without an application) it simply runs the work.
void run_blocking(const std::function<void()>& work);

// The stored form of a date and time: sorts as text, newest last.
inline QString stored_date(const QDateTime& t) {
    return t.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

}  // namespace qv
